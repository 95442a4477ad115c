// A set of camera ids (0 to 63), written the way the model tables list them.
#pragma once

#include <cstdint>
#include <initializer_list>

class IdSet {
public:
    constexpr IdSet() = default;
    constexpr IdSet(std::initializer_list<int> ids) {
        for (int id : ids)
            bits_ |= Bit(id);
    }
    // first to last inclusive
    static constexpr IdSet Range(int first, int last) {
        IdSet s;
        for (int id = first; id <= last; ++id)
            s.bits_ |= Bit(id);
        return s;
    }
    constexpr bool Has(int id) const { return (bits_ & Bit(id)) != 0; }
    constexpr IdSet operator|(IdSet other) const { return FromBits(bits_ | other.bits_); }
    constexpr IdSet Without(IdSet other) const { return FromBits(bits_ & ~other.bits_); }

private:
    static constexpr uint64_t Bit(int id) { return id >= 0 && id < 64 ? uint64_t{1} << id : 0; }
    static constexpr IdSet FromBits(uint64_t bits) {
        IdSet s;
        s.bits_ = bits;
        return s;
    }
    uint64_t bits_ = 0;
};
