#include "platform/imaging/jpegencoder.h"

#include <algorithm>
#include <climits>
#include <turbojpeg.h>
#include <vector>

#include "platform/imaging/dib.h"

namespace pd::platform::imaging {

JpegEncoder::JpegEncoder()
    : m_handle(tjInitCompress())
{
    if (!m_handle)
        m_error = QString::fromUtf8(tjGetErrorStr2(nullptr));
}

JpegEncoder::~JpegEncoder()
{
    Release();
    if (m_handle)
        tjDestroy(m_handle);
}

void JpegEncoder::Release()
{
    if (m_jpeg)
        tjFree(m_jpeg);
    m_jpeg = nullptr;
    m_capacity = 0;
    m_size = 0;
}

bool JpegEncoder::Compress(
    const unsigned char* rows, int width, std::size_t pitch, int height, bool grey, bool bottomUp, int quality)
{
    m_grey = grey;
    m_size = 0;
    const int subsampling = grey ? TJSAMP_GRAY : TJSAMP_420;
    // The output buffer is kept from page to page, with an eighth more than this page needs so
    // that the next, slightly larger page fits too: fresh memory for each page would cost more
    // than the writing into it.
    const unsigned long needed = tjBufSize(width, height, subsampling);
    if (needed == static_cast<unsigned long>(-1)) {
        m_error = QString::fromUtf8(tjGetErrorStr2(m_handle));
        return false;
    }
    if (m_capacity < needed) {
        const unsigned long capacity = needed + needed / 8;
        Release();
        if (capacity > INT_MAX || !(m_jpeg = tjAlloc(int(capacity)))) {
            m_error = QStringLiteral("no memory for the JPEG image");
            return false;
        }
        m_capacity = capacity;
    }
    unsigned long size = m_capacity;
    const int flags = TJFLAG_NOREALLOC | (bottomUp ? TJFLAG_BOTTOMUP : 0);
    if (tjCompress2(m_handle, rows, width, int(pitch), height, grey ? TJPF_GRAY : TJPF_BGR, &m_jpeg, &size, subsampling,
            std::clamp(quality, 1, 100), flags)
        != 0) {
        m_error = QString::fromUtf8(tjGetErrorStr2(m_handle));
        return false;
    }
    m_size = size;
    return true;
}

bool JpegEncoder::Encode(const DibPixels& dib, int quality)
{
    if (!m_handle)
        return false;
    if (dib.bitsPerPixel == 24 || HasIdentityGreyTable(dib))
        return Compress(dib.rows, dib.width, dib.stride, dib.height, dib.bitsPerPixel == 8, dib.bottomUp, quality);
    // An 8-bit page with its own colours: translated once into grey or blue-green-red rows.
    const bool grey = HasGreyTable(dib);
    const int channels = grey ? 1 : 3;
    const std::size_t pitch = std::size_t(dib.width) * channels;
    std::vector<unsigned char> rows(pitch * std::size_t(dib.height));
    for (int y = 0; y < dib.height; ++y) {
        const unsigned char* in = dib.rows + std::size_t(y) * dib.stride;
        unsigned char* out = rows.data() + std::size_t(y) * pitch;
        for (int x = 0; x < dib.width; ++x) {
            const std::uint32_t rgb = in[x] < dib.palette.size() ? dib.palette[in[x]] : 0;
            for (int c = 0; c < channels; ++c)
                out[x * channels + c] = (rgb >> (8 * c)) & 0xFF;
        }
    }
    return Compress(rows.data(), dib.width, pitch, dib.height, grey, dib.bottomUp, quality);
}

} // namespace pd::platform::imaging
