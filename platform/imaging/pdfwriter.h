#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QByteArray>

namespace pd::platform::imaging {

// Writes a PDF file page by page into an open file descriptor (not owned): each page is one JPEG
// image filling the page, written out at once, so only the objects' byte offsets stay in memory.
// The first failed write sticks: nothing more is written after it.
class PdfWriter {
public:
    explicit PdfWriter(int fd);

    // The file header and the catalogue.
    bool Start();

    // One page of widthPt x heightPt points (1/72 inch) showing a JPEG image of width x height
    // pixels, grey (one channel) or colour, embedded as it is.
    bool AddJpegPage(
        const unsigned char* jpeg, std::size_t size, int width, int height, bool grey, double widthPt, double heightPt);

    // The page tree, the cross-reference table and the trailer.
    bool Finish();

    int PageCount() const { return m_pages; }
    bool Failed() const { return m_errno != 0; }
    // errno of the first failed write; 0 while every write succeeded.
    int WriteErrno() const { return m_errno; }

private:
    bool Put(const char* data, std::size_t size);
    bool Put(const QByteArray& text) { return Put(text.constData(), std::size_t(text.size())); }
    // Notes where object number begins; objects are numbered from 1 in the order they are planned.
    void MarkObject(int number);

    int m_fd;
    int m_errno = 0;
    std::uint64_t m_offset = 0;
    std::vector<std::uint64_t> m_objectOffsets;
    int m_pages = 0;
};

} // namespace pd::platform::imaging
