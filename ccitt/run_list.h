#pragma once

#include <climits>
#include <cstdint>
#include <memory>

namespace pagelift {

// The runs of one line in order, white first (a line that starts black opens
// with a white run of 0); make-up and terminating parts of a run are one
// entry. For a reference line `next` is the index of the first run b1 has not
// passed yet and `count` the runs it holds; for the line being decoded
// `next` counts the runs appended so far. Runs beyond `capacity` are dropped.
// The storage holds capacity + 1 entries: the one past the runs is for
// kB1Sentinel, and for runs dropped, which the line decoders store there.
struct RunList {
    uint32_t next = 0;
    uint32_t count = 0;
    int32_t* runs = nullptr;
    uint32_t capacity = 0;

    void append(int32_t run)
    {
        if (runs != nullptr && next < capacity) runs[next++] = run;
    }
};

// The two run arrays of a two-dimensional page decoder: the line being
// decoded and its reference line. Allocated once per page.
class RunBuffers {
public:
    // Throws std::bad_alloc when the arrays cannot be allocated.
    explicit RunBuffers(uint32_t capacity);

    RunList& current() { return current_; }
    RunList& reference() { return reference_; }

    // The line just decoded becomes the reference (the arrays swap places).
    void promoteCurrent()
    {
        int32_t* const runs = current_.runs;
        current_.runs = reference_.runs;
        reference_.runs = runs;
        reference_.count = current_.next;
        reference_.next = 0;
        current_.next = 0;
        current_.count = 0;
    }
    // The reference becomes the imaginary all-white line of `width` pixels.
    void resetReferenceToWhite(int32_t width);

private:
    // capacity + 1 entries each. Not cleared: no entry is read before a line
    // or the white reset writes it.
    std::unique_ptr<int32_t[]> first_;
    std::unique_ptr<int32_t[]> second_;
    RunList current_;
    RunList reference_;
};

// A run length no line holds, stored just past the last run of a reference
// so that the b1 walk needs no count check on each step. Every run array
// has room for it (see RunBuffers).
inline constexpr int32_t kB1Sentinel = INT32_MAX;

// Moves b1 on after a0 has moved: past every changing element at or left of
// a0 (while b1 < width and runs remain), then past one more if the element
// reached has the colour of a0 (colour: 0 white, 1 black), so that b1 is the
// first changing element right of a0 of the opposite colour. The reference's
// runs[count] must hold kB1Sentinel (b1 is never negative, so adding the
// sentinel always takes it past the width).
[[gnu::always_inline]] inline void nextB1(RunList& reference, int64_t a0, int64_t& b1, int colour, int32_t width)
{
    // b1 < width and b1 <= a0 in one comparison.
    const int64_t last = a0 < width ? a0 : int64_t(width) - 1;
    const int32_t* const runs = reference.runs;
    uint32_t next = reference.next;
    if (b1 <= last) {
        do {
            b1 += runs[next];
            ++next;
        } while (b1 <= last);
        if (next > reference.count) [[unlikely]] {  // stepped onto the sentinel: step back
            --next;
            b1 -= kB1Sentinel;
        }
    }
    // The step over an element of a0's colour. A branch, not a mask: on
    // text and on mostly white pages the branch predicts well, and the
    // masked form took more instructions in every two-dimensional page
    // loop (bench/decode-vs-libtiff.sh).
    if (int(next & 1u) == colour && next < reference.count) {
        b1 += runs[next];
        ++next;
    }
    reference.next = next;
}

// Moves b1 back to a changing element at or left of a1 after a vertical-left
// code, so that nextB1 can find the element that follows a1.
inline void rewindB1(RunList& reference, int64_t a1, int64_t& b1)
{
    if (a1 < 0) {
        reference.next = 0;
        b1 = 0;
        return;
    }
    while (a1 < b1) {
        if (reference.next == 0) {
            b1 = 0;
            return;
        }
        --reference.next;
        b1 -= reference.runs[reference.next];
    }
}

}  // namespace pagelift
