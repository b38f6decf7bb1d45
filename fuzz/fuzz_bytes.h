// The fuzzers' reader of their input: bytes taken front to back, 0 once the input is used up,
// so a short input still decodes to a whole case and a seed can be written by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mst::fuzz {

class Bytes {
  public:
    Bytes(const uint8_t* data, size_t size) : at_(data), end_(data + size) {}

    uint8_t byte() { return at_ < end_ ? *at_++ : 0; }

    // The next sizeof(T) bytes as a T, in the machine's byte order.
    template <class T>
    T raw() {
        unsigned char b[sizeof(T)];
        for (unsigned char& c : b)
            c = byte();
        T v;
        std::memcpy(&v, b, sizeof v);
        return v;
    }

    // lo..hi inclusive, from two bytes; 0 bytes give lo.
    int32_t in(int32_t lo, int32_t hi) {
        const uint32_t span = static_cast<uint32_t>(int64_t{hi} - lo + 1);
        return static_cast<int32_t>(int64_t{lo} + raw<uint16_t>() % span);
    }

    // 0..1 from two bytes.
    double unit() { return raw<uint16_t>() / 65535.0; }

  private:
    const uint8_t* at_;
    const uint8_t* end_;
};

}  // namespace mst::fuzz
