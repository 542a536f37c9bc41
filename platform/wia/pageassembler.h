#pragma once

#include <QByteArray>

namespace pd::platform::wia {

// How one frame of a page arrives from the scanner backend, in the backend's own terms but
// without its headers: the SANE layer fills this from SANE_Parameters.
enum class FrameFormat { Gray, Rgb, Red, Green, Blue };

struct FrameParameters {
    FrameFormat format = FrameFormat::Gray;
    bool lastFrame = true; // false: more frames of the same page follow (three-pass colour)
    int bytesPerLine = 0; // may be larger than the pixels need
    int pixelsPerLine = 0;
    int lines = 0; // -1: not known in advance (hand scanner); the data decides
    int depth = 8; // bits per sample: 1, 8 or 16 (16-bit samples in host byte order)
};

// Collects the frames of one page as the backend delivers them and turns them into a BMP file:
// 24-bit colour, or 8-bit grey with a grey palette; 1-bit line art (a set bit is black) and
// 16-bit samples become 8-bit. The header carries the scan resolution. Rows of the BMP are
// bottom-up, as the format wants. Throws std::runtime_error for a frame it cannot take
// (unknown depth, frames of a page that disagree in size, a three-pass page missing a colour,
// fewer or more lines than announced); the broken page is then dropped whole and the assembler
// is ready for the next one. A page whose frames ended without any data gives an empty array.
class PageAssembler {
public:
    explicit PageAssembler(int dotsPerInch);
    ~PageAssembler();
    PageAssembler(const PageAssembler&) = delete;
    PageAssembler& operator=(const PageAssembler&) = delete;

    // The file of an earlier page, offered for its memory: the page is laid out in it when nobody
    // else holds it any more and it is large enough. Filling fresh memory costs a page fault per
    // few kilobytes, more than converting the lines that go into it.
    void ReuseMemory(QByteArray earlierPage);

    void BeginFrame(const FrameParameters& parameters);
    // Data of the current frame in any chunking, lines may be split across calls.
    void AddData(const char* data, qsizetype size);
    void EndFrame();
    // True once a frame with lastFrame set has ended.
    bool Complete() const;
    // The BMP file of the page (from "BM" on); the assembler is empty afterwards. Throws while
    // the page is not complete.
    QByteArray TakeBmp();

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace pd::platform::wia
