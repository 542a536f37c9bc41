#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>

// What every fuzz target shares: a reader that takes the choices of one run from the input bytes
// (zeros once they run out, so every input is a valid run), and a check that stops the process
// when a property fails, so the fuzzer keeps the input as a crash.

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            pd::fuzz::Violated(#condition, __FILE__, __LINE__);                                                        \
    } while (false)

namespace pd::fuzz {

[[noreturn]] inline void Violated(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, condition);
    std::abort();
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool Empty() const { return m_pos >= m_size; }
    std::size_t Left() const { return m_size - m_pos; }

    std::uint8_t Byte() { return Empty() ? 0 : m_data[m_pos++]; }
    std::uint16_t Word()
    {
        const std::uint16_t low = Byte();
        return std::uint16_t(low | Byte() << 8);
    }
    // A number in [low, high], high - low below 65536.
    int Range(int low, int high) { return low + int(Word() % unsigned(high - low + 1)); }
    bool Flag() { return Byte() & 1; }

    // Up to count bytes, fewer at the end of the input.
    QByteArray Bytes(std::size_t count)
    {
        count = std::min(count, Left());
        const QByteArray bytes(reinterpret_cast<const char*>(m_data + m_pos), qsizetype(count));
        m_pos += count;
        return bytes;
    }
    QByteArray Rest() { return Bytes(Left()); }

    // A text of up to maxLength UTF-16 units drawn from alphabet, length first.
    QString Text(const QString& alphabet, int maxLength)
    {
        const int length = Range(0, maxLength);
        QString text;
        for (int i = 0; i < length && !Empty(); ++i)
            text += alphabet[Byte() % alphabet.size()];
        return text;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace pd::fuzz
