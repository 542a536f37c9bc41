#include "platform/imaging/dib.h"

#include <climits>
#include <cmath>

#include <QtEndian>

namespace pd::platform::imaging {

namespace {

constexpr std::size_t kInfoHeaderSize = 40;
constexpr int kMaxSide = 65535; // what a JPEG frame can hold

std::optional<DibPixels> Refuse(QString* reason, const QString& why)
{
    if (reason)
        *reason = why;
    return std::nullopt;
}

bool KnownHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

} // namespace

std::optional<DibPixels> ParseDib(const unsigned char* data, std::size_t size, QString* reason)
{
    if (!data || size == 0)
        return Refuse(reason, QStringLiteral("no page image"));
    if (size < kInfoHeaderSize)
        return Refuse(reason, QStringLiteral("page image header truncated (%1 bytes)").arg(size));
    const std::uint32_t headerSize = qFromLittleEndian<quint32>(data);
    if (!KnownHeaderSize(headerSize) || headerSize > size)
        return Refuse(reason, QStringLiteral("page image header size %1 inconsistent").arg(headerSize));
    DibPixels dib;
    const auto height = qFromLittleEndian<qint32>(data + 8);
    dib.width = qFromLittleEndian<qint32>(data + 4);
    dib.bottomUp = height > 0;
    dib.height = height == INT32_MIN ? 0 : std::abs(height);
    dib.bitsPerPixel = int(qFromLittleEndian<quint16>(data + 14));
    if (dib.width <= 0 || dib.height <= 0)
        return Refuse(reason, QStringLiteral("page image has no pixels (%1 x %2)").arg(dib.width).arg(height));
    if (dib.width > kMaxSide || dib.height > kMaxSide)
        return Refuse(reason, QStringLiteral("page image too large (%1 x %2)").arg(dib.width).arg(dib.height));
    if (const quint16 planes = qFromLittleEndian<quint16>(data + 12); planes != 1)
        return Refuse(reason, QStringLiteral("page image plane count %1 inconsistent").arg(planes));
    if (dib.bitsPerPixel != 8 && dib.bitsPerPixel != 24)
        return Refuse(reason, QStringLiteral("page image depth of %1 bits not supported").arg(dib.bitsPerPixel));
    if (qFromLittleEndian<quint32>(data + 16) != 0)
        return Refuse(reason, QStringLiteral("compressed page image not supported"));
    std::size_t colours = qFromLittleEndian<quint32>(data + 32);
    if (dib.bitsPerPixel == 8) {
        if (colours == 0)
            colours = 256;
        if (colours > 256 || headerSize + 4 * colours > size)
            return Refuse(reason, QStringLiteral("page image colour table inconsistent"));
        dib.palette.resize(colours);
        for (std::size_t i = 0; i < colours; ++i)
            dib.palette[i] = qFromLittleEndian<quint32>(data + headerSize + 4 * i) & 0xFFFFFF;
    } else {
        // A 24-bit bitmap may carry a table for palette displays; its pixels begin behind it.
        if (colours > (size - headerSize) / 4)
            return Refuse(reason, QStringLiteral("page image colour table inconsistent"));
    }
    const std::size_t offset = headerSize + 4 * colours;
    dib.stride = (std::size_t(dib.width) * std::size_t(dib.bitsPerPixel) + 31) / 32 * 4;
    if ((size - offset) / dib.stride < std::size_t(dib.height))
        return Refuse(reason,
            QStringLiteral("page image truncated: %1 bytes for %2 x %3 pixels")
                .arg(size)
                .arg(dib.width)
                .arg(dib.height));
    dib.rows = data + offset;
    dib.xPelsPerMeter = qFromLittleEndian<qint32>(data + 24);
    dib.yPelsPerMeter = qFromLittleEndian<qint32>(data + 28);
    return dib;
}

bool HasIdentityGreyTable(const DibPixels& dib)
{
    if (dib.bitsPerPixel != 8)
        return false;
    for (std::size_t i = 0; i < dib.palette.size(); ++i) {
        if (dib.palette[i] != std::uint32_t(i) * 0x010101u)
            return false;
    }
    return true;
}

bool HasGreyTable(const DibPixels& dib)
{
    if (dib.bitsPerPixel != 8)
        return false;
    for (std::uint32_t rgb : dib.palette) {
        if ((rgb & 0xFF) != ((rgb >> 8) & 0xFF) || (rgb & 0xFF) != (rgb >> 16))
            return false;
    }
    return true;
}

double DotsPerInch(int pelsPerMeter)
{
    const double dpi = std::round(pelsPerMeter * 0.0254);
    return dpi >= 1 ? dpi : 150.0;
}

} // namespace pd::platform::imaging
