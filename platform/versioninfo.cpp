#include "platform/versioninfo.h"

#include <cstring>
#include <elf.h>

#include <QFile>
#include <QFileInfo>

#include "platform/versionrecord.h"

namespace pd::platform {

namespace {

// A record larger than this is not one of ours.
constexpr quint64 kMaxRecordSize = 64 * 1024;

bool ReadAt(QFile& file, quint64 offset, void* out, quint64 size)
{
    if (offset > quint64(file.size()) || size > quint64(file.size()) - offset)
        return false;
    if (!file.seek(qint64(offset)))
        return false;
    return file.read(static_cast<char*>(out), qint64(size)) == qint64(size);
}

QByteArray ReadBlock(QFile& file, quint64 offset, quint64 size)
{
    if (size > kMaxRecordSize)
        return {};
    QByteArray block(qsizetype(size), '\0');
    if (!ReadAt(file, offset, block.data(), size))
        return {};
    return block;
}

// The ELF structures of one class (32 or 64 bit), little-endian as on the machines we build for.
template <typename Ehdr, typename Shdr> struct ElfReader {
    QFile& file;
    Ehdr header {};
    quint64 sectionCount = 0;
    quint64 namesIndex = 0;

    bool ReadSection(quint64 index, Shdr& out)
    {
        if (header.e_shentsize != sizeof(Shdr))
            return false;
        return ReadAt(file, quint64(header.e_shoff) + index * sizeof(Shdr), &out, sizeof(Shdr));
    }

    bool Open()
    {
        if (!ReadAt(file, 0, &header, sizeof header) || header.e_shoff == 0)
            return false;
        sectionCount = header.e_shnum;
        namesIndex = header.e_shstrndx;
        // Many sections: the real counts stand in section 0.
        if (sectionCount == 0 || namesIndex == SHN_XINDEX) {
            Shdr first {};
            if (!ReadSection(0, first))
                return false;
            if (sectionCount == 0)
                sectionCount = first.sh_size;
            if (namesIndex == SHN_XINDEX)
                namesIndex = first.sh_link;
        }
        return namesIndex < sectionCount && sectionCount < (1u << 20);
    }

    QByteArray FindSection(const char* wanted)
    {
        Shdr names {};
        if (!ReadSection(namesIndex, names))
            return {};
        const std::size_t wantedLength = std::strlen(wanted) + 1;
        for (quint64 i = 0; i < sectionCount; ++i) {
            Shdr section {};
            if (!ReadSection(i, section))
                return {};
            if (section.sh_type == SHT_NOBITS || section.sh_name >= names.sh_size)
                continue;
            char name[64] = {};
            const quint64 room = std::min<quint64>(wantedLength, names.sh_size - section.sh_name);
            if (!ReadAt(file, quint64(names.sh_offset) + section.sh_name, name, room))
                continue;
            if (room == wantedLength && std::memcmp(name, wanted, wantedLength) == 0)
                return ReadBlock(file, section.sh_offset, section.sh_size);
        }
        return {};
    }
};

QByteArray FindRecordSection(QFile& file)
{
    unsigned char ident[EI_NIDENT] = {};
    if (!ReadAt(file, 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return {};
    if (ident[EI_DATA] != ELFDATA2LSB)
        return {};
    if (ident[EI_CLASS] == ELFCLASS64) {
        ElfReader<Elf64_Ehdr, Elf64_Shdr> reader { file };
        return reader.Open() ? reader.FindSection(PD_VERSION_SECTION) : QByteArray();
    }
    if (ident[EI_CLASS] == ELFCLASS32) {
        ElfReader<Elf32_Ehdr, Elf32_Shdr> reader { file };
        return reader.Open() ? reader.FindSection(PD_VERSION_SECTION) : QByteArray();
    }
    return {};
}

std::optional<FileVersionInfo> ParseRecord(const QByteArray& record)
{
    const QList<QByteArray> fields = record.split('\0');
    if (fields.isEmpty() || fields.first() != PD_VERSION_MAGIC)
        return std::nullopt;
    FileVersionInfo info;
    for (qsizetype i = 1; i + 1 < fields.size() && !fields[i].isEmpty(); i += 2) {
        const QString value = QString::fromUtf8(fields[i + 1]);
        if (fields[i] == "InternalName")
            info.internalName = value;
        else if (fields[i] == "FileVersion")
            info.fileVersion = value;
    }
    return info;
}

} // namespace

std::optional<FileVersionInfo> GetFileVersionInfo(const QString& path)
{
    // Only regular files: opening a FIFO would block.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray record = FindRecordSection(file);
    if (record.isEmpty())
        return std::nullopt;
    return ParseRecord(record);
}

} // namespace pd::platform
