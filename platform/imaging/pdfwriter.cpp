#include "platform/imaging/pdfwriter.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace pd::platform::imaging {

namespace {

// Object 1 is the catalogue, 2 the page tree; page n (from 0) owns the three objects from
// 3 + 3n: page, content stream, image.
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
constexpr int kFirstPageObject = 3;
constexpr int kObjectsPerPage = 3;

// A number in the form PDF readers take: fixed point, no exponent, no trailing zeros, always with
// a full stop whatever the locale.
QByteArray Number(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 4);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text;
}

QByteArray Ref(int object)
{
    return QByteArray::number(object) + " 0 R";
}

} // namespace

PdfWriter::PdfWriter(int fd)
    : m_fd(fd)
{
}

bool PdfWriter::Put(const char* data, std::size_t size)
{
    while (size > 0 && m_errno == 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno != EINTR)
                m_errno = errno;
            continue;
        }
        if (written == 0) {
            m_errno = EIO;
            break;
        }
        data += written;
        size -= std::size_t(written);
        m_offset += std::uint64_t(written);
    }
    return m_errno == 0;
}

void PdfWriter::MarkObject(int number)
{
    if (m_objectOffsets.size() < std::size_t(number))
        m_objectOffsets.resize(std::size_t(number), 0);
    m_objectOffsets[std::size_t(number) - 1] = m_offset;
}

bool PdfWriter::Start()
{
    // The comment of high bytes tells transfer programs that the file is binary.
    if (!Put(QByteArrayLiteral("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n")))
        return false;
    MarkObject(kCatalog);
    return Put(QByteArray::number(kCatalog) + " 0 obj\n<< /Type /Catalog /Pages " + Ref(kPageTree) + " >>\nendobj\n");
}

bool PdfWriter::AddJpegPage(
    const unsigned char* jpeg, std::size_t size, int width, int height, bool grey, double widthPt, double heightPt)
{
    if (m_errno != 0)
        return false;
    const int page = kFirstPageObject + kObjectsPerPage * m_pages;
    const QByteArray content = "q " + Number(widthPt) + " 0 0 " + Number(heightPt) + " 0 0 cm /Im0 Do Q\n";
    QByteArray head;
    head += QByteArray::number(page) + " 0 obj\n<< /Type /Page /Parent " + Ref(kPageTree) + " /MediaBox [0 0 "
        + Number(widthPt) + ' ' + Number(heightPt) + "] /Resources << /XObject << /Im0 " + Ref(page + 2)
        + " >> /ProcSet [/PDF /Image" + (grey ? "B" : "C") + "] >> /Contents " + Ref(page + 1) + " >>\nendobj\n";
    MarkObject(page);
    if (!Put(head))
        return false;
    MarkObject(page + 1);
    if (!Put(QByteArray::number(page + 1) + " 0 obj\n<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n"
            + content + "endstream\nendobj\n"))
        return false;
    MarkObject(page + 2);
    const QByteArray imageHead = QByteArray::number(page + 2) + " 0 obj\n<< /Type /XObject /Subtype /Image /Width "
        + QByteArray::number(width) + " /Height " + QByteArray::number(height) + " /ColorSpace "
        + (grey ? "/DeviceGray" : "/DeviceRGB") + " /BitsPerComponent 8 /Filter /DCTDecode /Length "
        + QByteArray::number(quint64(size)) + " >>\nstream\n";
    if (!Put(imageHead) || !Put(reinterpret_cast<const char*>(jpeg), size)
        || !Put(QByteArrayLiteral("\nendstream\nendobj\n")))
        return false;
    ++m_pages;
    return true;
}

bool PdfWriter::Finish()
{
    if (m_errno != 0)
        return false;
    QByteArray tree
        = QByteArray::number(kPageTree) + " 0 obj\n<< /Type /Pages /Count " + QByteArray::number(m_pages) + " /Kids [";
    for (int i = 0; i < m_pages; ++i)
        tree += (i ? " " : "") + Ref(kFirstPageObject + kObjectsPerPage * i);
    tree += "] >>\nendobj\n";
    MarkObject(kPageTree);
    if (!Put(tree))
        return false;
    const std::uint64_t xref = m_offset;
    const std::size_t objects = m_objectOffsets.size() + 1;
    QByteArray table = "xref\n0 " + QByteArray::number(quint64(objects)) + "\n0000000000 65535 f \n";
    char entry[24];
    for (std::uint64_t offset : m_objectOffsets) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
        table += entry;
    }
    table += "trailer\n<< /Size " + QByteArray::number(quint64(objects)) + " /Root " + Ref(kCatalog)
        + " >>\nstartxref\n" + QByteArray::number(quint64(xref)) + "\n%%EOF\n";
    return Put(table);
}

} // namespace pd::platform::imaging
