// The text pdf.js finds on each page of PDF files, for bench/text_layer.py.
//
// Usage: node bench/pdfjs_text.mjs PDFJS_FOLDER FILE.pdf ...
// PDFJS_FOLDER is the npm prefix pdfjs-dist is installed under (build/pdfjs).
// Prints one JSON line per file: {"file", "pages": [{"width", "height",
// "items": [{"str", "transform", "width", "height", "hasEOL", "box", "start",
// "end"}]}]},
// where box is the item's rectangle on the page as shown (rotation applied),
// in points from the top left corner: [left, top, right, bottom], and start
// and end are the ends of its baseline (at the descent) there. Whatever
// pdf.js warns of goes to standard error, after a line "== FILE".

import { readFile } from "node:fs/promises";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [folder, ...files] = process.argv.slice(2);
const pdfjs = await import(pathToFileURL(join(folder, "node_modules", "pdfjs-dist", "legacy", "build", "pdf.mjs")));
// pdf.js writes its warnings with console.log; keep standard output for the JSON.
console.log = (...words) => console.error(...words);

for (const file of files) {
  process.stderr.write(`== ${file}\n`); // what follows on standard error is of this file
  try {
    const pages = await readPages(file);
    process.stdout.write(JSON.stringify({ file, pages }) + "\n");
  } catch (error) {
    process.stdout.write(JSON.stringify({ file, pages: [], error: String(error) }) + "\n");
  }
}

async function readPages(file) {
  const data = new Uint8Array(await readFile(file));
  const document = await pdfjs.getDocument({ data, verbosity: pdfjs.VerbosityLevel.WARNINGS }).promise;
  const pages = [];
  for (let number = 1; number <= document.numPages; number++) {
    const page = await document.getPage(number);
    const viewport = page.getViewport({ scale: 1 });
    const content = await page.getTextContent();
    const items = [];
    for (const item of content.items) {
      if (item.str === undefined) {
        continue; // a marked-content mark
      }
      const style = content.styles[item.fontName] || {};
      const ascent = style.ascent || 1;
      const descent = style.descent || 0;
      // The item's box in text space units of its own direction: along the
      // baseline by its width, across it from descent to ascent of its height.
      const [a, b, c, d, e, f] = item.transform;
      const size = Math.hypot(c, d) || 1;
      const along = [a, b].map((v) => v / (Math.hypot(a, b) || 1));
      const across = [c / size, d / size];
      const corners = [];
      for (const [u, v] of [[0, descent], [0, ascent], [1, descent], [1, ascent]]) {
        corners.push([e + along[0] * item.width * u + across[0] * item.height * v,
                      f + along[1] * item.width * u + across[1] * item.height * v]);
      }
      const shown = corners.map(([x, y]) => viewport.convertToViewportPoint(x, y));
      const xs = shown.map((p) => p[0]);
      const ys = shown.map((p) => p[1]);
      items.push({
        str: item.str, transform: item.transform, width: item.width, height: item.height, hasEOL: item.hasEOL,
        box: [Math.min(...xs), Math.min(...ys), Math.max(...xs), Math.max(...ys)],
        start: shown[0], end: shown[2],
      });
    }
    pages.push({ width: viewport.width, height: viewport.height, items });
    page.cleanup();
  }
  await document.destroy();
  return pages;
}
