#pragma once

#include <cstddef>

#include <QString>

namespace pd::platform::imaging {

struct DibPixels;

// Encodes page images into JPEG with one compressor kept for its lifetime. The JPEG of the last
// page is held until the next one is encoded or the encoder goes; its buffer is reused.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    bool IsReady() const { return m_handle != nullptr; }

    // An 8-bit page with a grey table becomes a one-channel JPEG, any other page a colour JPEG with
    // 4:2:0 chroma. The rows are read where they lie, bottom-up or not; only an 8-bit page with a
    // table other than plain grey is translated first. quality: 1 (smallest) to 100.
    bool Encode(const DibPixels& dib, int quality);

    const unsigned char* Data() const { return m_jpeg; }
    std::size_t Size() const { return m_size; }
    bool IsGrey() const { return m_grey; }
    // Why the last Encode failed.
    const QString& Error() const { return m_error; }

private:
    bool Compress(
        const unsigned char* rows, int width, std::size_t pitch, int height, bool grey, bool bottomUp, int quality);
    void Release();

    void* m_handle = nullptr;
    unsigned char* m_jpeg = nullptr;
    unsigned long m_capacity = 0;
    std::size_t m_size = 0;
    bool m_grey = false;
    QString m_error;
};

} // namespace pd::platform::imaging
