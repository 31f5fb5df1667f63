// The byte layout shared by the fuzz targets and the program that writes
// their seeds: little-endian fields read front to back, and past the end
// of the input every field reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/sim/SimSystem.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t U8() { return static_cast<uint8_t>(Number(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Number(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Number(4)); }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    bool Empty() const { return m_at >= m_size; }

    std::vector<unsigned char> Bytes(size_t count) {
        const size_t n = count < m_size - m_at ? count : m_size - m_at;
        std::vector<unsigned char> bytes(m_data + m_at, m_data + m_at + n);
        m_at += n;
        return bytes;
    }
    std::string Text(size_t count) {
        std::vector<unsigned char> bytes = Bytes(count);
        return std::string(bytes.begin(), bytes.end());
    }
    std::vector<unsigned char> Rest() { return Bytes(m_size - m_at); }

private:
    uint64_t Number(size_t bytes) {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes && m_at < m_size; ++i) value |= static_cast<uint64_t>(m_data[m_at++]) << (8 * i);
        return value;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Raw answers of one query: a count (1 to 4), then for each answer its
// status, its returned length, its pointers (a count up to 7, then per
// pointer the byte at which it stands and the offset from the start of the
// caller's buffer at which it points) and its bytes (a count, then the
// bytes). Returned lengths are taken modulo `lengthLimit`, so that an
// input costs milliseconds; how the code bounds larger sizes has unit
// tests of its own. Calls beyond the answers fail.
inline std::vector<sim::RawAnswer> ReadAnswers(FuzzInput& in, uint32_t lengthLimit) {
    std::vector<sim::RawAnswer> answers(in.U8() % 4 + 1);
    for (sim::RawAnswer& answer : answers) {
        answer.status = static_cast<os::NTSTATUS>(in.U32());
        answer.returnLength = in.U32() % lengthLimit;
        const unsigned pointers = in.U8() % 8;
        for (unsigned i = 0; i < pointers; ++i) {
            const size_t at = in.U16();
            answer.pointers.push_back(sim::RawAnswer::Pointer{at, in.I32()});
        }
        answer.bytes = in.Bytes(in.U16());
    }
    sim::RawAnswer fails;
    fails.status = os::STATUS_ACCESS_DENIED;
    answers.push_back(fails);
    return answers;
}

// The writing side, for seeds.
class FuzzOutput {
public:
    FuzzOutput& U8(uint8_t value) { return Number(value, 1); }
    FuzzOutput& U16(uint16_t value) { return Number(value, 2); }
    FuzzOutput& U32(uint32_t value) { return Number(value, 4); }
    FuzzOutput& Bytes(const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
        return *this;
    }
    FuzzOutput& Answers(const std::vector<sim::RawAnswer>& answers) {
        U8(static_cast<uint8_t>(answers.size() - 1));
        for (const sim::RawAnswer& answer : answers) {
            U32(static_cast<uint32_t>(answer.status)).U32(answer.returnLength);
            U8(static_cast<uint8_t>(answer.pointers.size()));
            for (const auto& pointer : answer.pointers) U16(static_cast<uint16_t>(pointer.at)).U32(static_cast<uint32_t>(pointer.target));
            U16(static_cast<uint16_t>(answer.bytes.size())).Bytes(answer.bytes.data(), answer.bytes.size());
        }
        return *this;
    }
    const std::vector<unsigned char>& Data() const { return m_bytes; }

private:
    FuzzOutput& Number(uint64_t value, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i) m_bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
        return *this;
    }

    std::vector<unsigned char> m_bytes;
};
