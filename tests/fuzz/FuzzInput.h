#pragma once

#include "module/Errors.h"

#include <QByteArray>
#include <cstdint>
#include <cstring>

// The fuzzer's bytes as the receive buffer, not copied: a read past their end is a read past
// the buffer, which AddressSanitizer reports.
inline QByteArray asBuffer(const uint8_t* data, size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Runs one parse; a ParseError is the expected outcome of a malformed reply.
template <class Parse> void tolerate(Parse&& parse) {
    try {
        parse();
    } catch (const ParseError&) {
    }
}

// An invariant the record must keep whatever the reply held.
inline void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

// Takes the next n bytes of the input as settings (zeros once the input is used up).
template <class T> T take(const uint8_t*& data, size_t& size) {
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}
