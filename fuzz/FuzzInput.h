#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

// What a fuzzer hands over, as the station would meet it: bytes decoded as UTF-8, or numbers
// taken from the front of the input, every bit pattern included (NaN, infinities, huge).
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : data(data), size(size) {}

    QString text() const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    }
    QByteArray bytes() const { return QByteArray(reinterpret_cast<const char *>(data), int(size)); }

    template <typename T> T next()
    {
        T value{};
        const size_t taken = size - at < sizeof value ? size - at : sizeof value;
        std::memcpy(&value, data + at, taken);
        at += taken;
        return value;
    }

private:
    const uint8_t *data;
    size_t size;
    size_t at = 0;
};
