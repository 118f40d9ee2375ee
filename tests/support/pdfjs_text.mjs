// Prints the text pdf.js (Firefox's PDF engine) finds in a PDF, as its
// viewer joins it for finding and copying: each page's items in order, a
// line ended where an item says so, pages apart by a blank line. Warnings
// go to standard error.
//
// Usage: node pdfjs_text.mjs PDFJS_DIST_FOLDER FILE.pdf

import { readFile } from "node:fs/promises";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [dist, file] = process.argv.slice(2);
const pdfjs = await import(pathToFileURL(join(dist, "legacy", "build", "pdf.mjs")));
console.log = (...words) => console.error(...words); // pdf.js warns through it
const document = await pdfjs.getDocument({ data: new Uint8Array(await readFile(file)) }).promise;
let text = "";
for (let number = 1; number <= document.numPages; number++) {
  const content = await (await document.getPage(number)).getTextContent();
  for (const item of content.items) text += (item.str ?? "") + (item.hasEOL ? "\n" : "");
  text += "\n\n";
}
await document.destroy();
process.stdout.write(text);
