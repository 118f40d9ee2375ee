#pragma once

#include "ccitt/t4_code_tables.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace pagelift {

// Leaf numbers shared by the three trees. A run tree leaf 4n + 1 is the
// terminating code of run n (0..63) and 4m + 3 the make-up code of 64 x m
// (m = 1..40); a mode tree leaf 4k + 1 is mode k (t4::Mode). The four values
// below are reserved in every tree.
enum CodeLeaf : uint16_t {
    LeafInvalid = 243,     // no valid code word
    LeafEolThenOne = 247,  // EOL, and one more bit (a 1) already read after it
    LeafEolThenZero = 251, // EOL, and one more bit (a 0) already read after it
    LeafEol = 255,         // EOL, nothing read beyond its final 1
};

constexpr bool isTerminatingLeaf(uint16_t leaf) { return (leaf & 3u) == 1u; }
// Run length of a run-tree leaf: n for 4n + 1, 64 x m for 4m + 3.
constexpr int32_t leafRunLength(uint16_t leaf)
{
    return isTerminatingLeaf(leaf) ? int32_t(leaf >> 2) : int32_t(leaf >> 2) * 64;
}

inline constexpr size_t kCodeTreeCapacity = 512;
inline constexpr int kLookaheadBits = 9;

// A decoding tree. Reading starts with `firstBits` bits, whose value is the
// index of the first entry. An odd entry is a leaf (CodeLeaf or a run/mode
// leaf). An even entry is a node: bit 1 tells whether it reads two bits or
// one, and entry >> 2 is the index where its 2 or 4 children begin.
//
// The layout keeps three promises the decoders rely on: every T.4 code word
// is consumed exactly; any run of at least 11 zeros followed by a one is one
// EOL, read in pairs from the tenth zero on, so that at most one bit past the
// EOL is taken (leaves 247 and 251 say which); and seven zeros then a one
// lead into the extended make-up codes.
//
// `lookahead` is a shortcut derived from the tree: indexed by the next
// kLookaheadBits bits (first bit most significant), it holds (leaf << 4 | code length) when those bits
// begin a valid code of at most kLookaheadBits bits, else 0. Walking the tree
// would consume exactly that code, so the shortcut changes nothing; EOLs,
// invalid codes and longer codes always take the walk.
struct CodeTree {
    uint8_t firstBits = 0;
    uint16_t size = 0;
    std::array<uint16_t, kCodeTreeCapacity> entries{};
    std::array<uint16_t, size_t(1) << kLookaheadBits> lookahead{};
    // The same for data read least significant bit first: indexed by the
    // next kLookaheadBits bits with the first one lowest.
    std::array<uint16_t, size_t(1) << kLookaheadBits> reversedLookahead{};
};

namespace detail {

inline constexpr int kTrieCapacity = 512;
inline constexpr int kEolZeroDepth = 10;  // from here on the tree reads bit pairs

// A plain binary trie of the code words, the intermediate form of the build.
struct CodeTrie {
    int16_t child[kTrieCapacity][2]{};
    uint16_t leaf[kTrieCapacity]{};
    int16_t count = 1;

    constexpr CodeTrie()
    {
        for (auto& pair : child) pair[0] = pair[1] = -1;
    }

    constexpr void insert(const char* bits, uint16_t leafValue)
    {
        int node = 0;
        for (const char* bit = bits; *bit != '\0'; ++bit) {
            if (*bit != '0' && *bit != '1') throw "code words hold only 0 and 1";
            if (leaf[node] != 0) throw "one code word is a prefix of another";
            const int value = *bit - '0';
            if (child[node][value] < 0) {
                if (count >= kTrieCapacity) throw "trie capacity exceeded";
                child[node][value] = count++;
            }
            node = child[node][value];
        }
        if (leaf[node] != 0 || child[node][0] >= 0 || child[node][1] >= 0)
            throw "one code word is a prefix of another";
        leaf[node] = leafValue;
    }

    constexpr bool isInner(int node) const { return node >= 0 && leaf[node] == 0; }
};

class TreeLayout {
public:
    constexpr explicit TreeLayout(const CodeTrie& trie) : trie_(trie) {}

    constexpr CodeTree build(uint8_t firstBits)
    {
        tree_.firstBits = firstBits;
        const uint16_t rootCount = uint16_t(1u << firstBits);
        allocate(rootCount);
        for (uint16_t pattern = 0; pattern < rootCount; ++pattern) {
            int node = 0;
            for (int shift = firstBits - 1; shift >= 0 && node >= 0; --shift) {
                if (trie_.leaf[node] != 0) throw "a code word is shorter than the first group";
                node = trie_.child[node][(pattern >> shift) & 1];
            }
            tree_.entries[pattern] = entryFor(node, firstBits, pattern == 0);
        }
        return tree_;
    }

private:
    constexpr uint16_t allocate(uint16_t slots)
    {
        if (tree_.size + slots > kCodeTreeCapacity) throw "code tree capacity exceeded";
        const uint16_t base = tree_.size;
        tree_.size = uint16_t(tree_.size + slots);
        return base;
    }

    static constexpr uint16_t nodeEntry(uint16_t childBase, bool twoBits)
    {
        return uint16_t((unsigned(childBase) << 2) | (twoBits ? 2u : 0u));
    }

    constexpr uint16_t entryFor(int node, int depth, bool allZeros)
    {
        if (node < 0) return LeafInvalid;
        if (trie_.leaf[node] != 0) return trie_.leaf[node];
        return placeNode(node, depth, allZeros);
    }

    // A node reads two bits only when neither child ends a code (so no code
    // word is over-read) and the pair does not jump over the tenth zero.
    constexpr uint16_t placeNode(int node, int depth, bool allZeros)
    {
        if (allZeros && depth == kEolZeroDepth) return placeEolNodes();
        const int zeroChild = trie_.child[node][0];
        const int oneChild = trie_.child[node][1];
        const bool twoBits = trie_.isInner(zeroChild) && trie_.isInner(oneChild) &&
                             !(allZeros && depth + 1 == kEolZeroDepth);
        if (twoBits) {
            const uint16_t base = allocate(4);
            for (uint16_t pair = 0; pair < 4; ++pair) {
                const int middle = (pair & 2) ? oneChild : zeroChild;
                const uint16_t entry =
                    entryFor(trie_.child[middle][pair & 1], depth + 2, allZeros && pair == 0);
                tree_.entries[base + pair] = entry;
            }
            return nodeEntry(base, true);
        }
        const uint16_t base = allocate(2);
        const uint16_t zeroEntry = entryFor(zeroChild, depth + 1, allZeros);
        tree_.entries[base] = zeroEntry;
        const uint16_t oneEntry = entryFor(oneChild, depth + 1, false);
        tree_.entries[base + 1] = oneEntry;
        return nodeEntry(base, false);
    }

    // After ten zeros: 01 is the EOL, 1x no code, 00 enters a node that loops
    // on itself for every further pair of zeros and ends on 01, 10 or 11.
    constexpr uint16_t placeEolNodes()
    {
        const uint16_t afterTen = allocate(4);
        const uint16_t loop = allocate(4);
        tree_.entries[afterTen + 0] = nodeEntry(loop, true);
        tree_.entries[afterTen + 1] = LeafEol;
        tree_.entries[afterTen + 2] = LeafInvalid;
        tree_.entries[afterTen + 3] = LeafInvalid;
        tree_.entries[loop + 0] = nodeEntry(loop, true);
        tree_.entries[loop + 1] = LeafEol;
        tree_.entries[loop + 2] = LeafEolThenZero;
        tree_.entries[loop + 3] = LeafEolThenOne;
        return nodeEntry(afterTen, true);
    }

    const CodeTrie& trie_;
    CodeTree tree_{};
};

// Walks `tree` over the bits of `pattern` (kLookaheadBits of them, first bit
// most significant) as the decoder would, and records the leaf reached.
constexpr void fillLookahead(CodeTree& tree)
{
    for (unsigned pattern = 0; pattern < tree.lookahead.size(); ++pattern) {
        int used = 0;
        const auto take = [&](int count) {
            const unsigned value = (pattern >> (kLookaheadBits - used - count)) & ((1u << count) - 1);
            used += count;
            return value;
        };
        uint16_t entry = tree.entries[take(tree.firstBits)];
        while ((entry & 1u) == 0) {
            const int count = (entry & 2u) ? 2 : 1;
            if (used + count > kLookaheadBits) break;
            entry = tree.entries[(entry >> 2) + take(count)];
        }
        const bool validLeaf = (entry & 1u) != 0 && entry != LeafInvalid && entry != LeafEol &&
                               entry != LeafEolThenZero && entry != LeafEolThenOne;
        tree.lookahead[pattern] = validLeaf ? uint16_t(unsigned(entry) << 4 | unsigned(used)) : uint16_t(0);
    }
    for (unsigned pattern = 0; pattern < tree.lookahead.size(); ++pattern) {
        unsigned reversed = 0;
        for (int bit = 0; bit < kLookaheadBits; ++bit) reversed |= ((pattern >> bit) & 1u) << (kLookaheadBits - 1 - bit);
        tree.reversedLookahead[reversed] = tree.lookahead[pattern];
    }
}

constexpr CodeTree withLookahead(CodeTree tree)
{
    fillLookahead(tree);
    return tree;
}

constexpr uint16_t runLeaf(uint16_t run)
{
    return run < 64 ? uint16_t(4 * run + 1) : uint16_t(4 * (run / 64) + 3);
}

template <size_t N>
constexpr CodeTree buildRunTree(const t4::RunCode (&codes)[N], uint8_t firstBits)
{
    CodeTrie trie;
    for (const t4::RunCode& code : codes) trie.insert(code.bits, runLeaf(code.run));
    for (const t4::RunCode& code : t4::kExtendedMakeUpCodes) trie.insert(code.bits, runLeaf(code.run));
    trie.insert(t4::kEolBits, LeafEol);
    return withLookahead(TreeLayout(trie).build(firstBits));
}

constexpr CodeTree buildModeTree()
{
    CodeTrie trie;
    for (const t4::ModeCode& code : t4::kModeCodes) trie.insert(code.bits, uint16_t(4 * code.mode + 1));
    for (const char* bits : t4::kOtherExtensionCodes) trie.insert(bits, LeafInvalid);
    trie.insert(t4::kEolBits, LeafEol);
    return withLookahead(TreeLayout(trie).build(1));
}

}  // namespace detail

// Built by the compiler; a code table error stops the build.
inline constexpr CodeTree kWhiteTree = detail::buildRunTree(t4::kWhiteCodes, 4);
inline constexpr CodeTree kBlackTree = detail::buildRunTree(t4::kBlackCodes, 2);
inline constexpr CodeTree kModeTree = detail::buildModeTree();

}  // namespace pagelift
