#pragma once

#include <cstdint>
#include <memory>

// Overwrites n units with zero, top unit first, in a way the compiler may not drop as a dead
// store (the array is about to be freed).
void wipe_units(std::uint32_t* units, std::uint32_t n);

// A growable array of 32-bit units, least significant unit first.
// Invariants: used <= capacity; when used > 0 the unit at used - 1 is non-zero; zero has
// used = 0. Units at or above used are stale and are only read through get(), which yields 0.
// Every array is wiped before it is freed.
class flex_unit {
public:
    flex_unit() = default;
    ~flex_unit();
    flex_unit(const flex_unit&) = delete;
    flex_unit& operator=(const flex_unit&) = delete;

    // Returns unit i, or 0 when i is at or above the used count.
    std::uint32_t get(std::uint32_t i) const { return i < used ? units[i] : 0; }
    // Number of units that make up the value.
    std::uint32_t units_used() const { return used; }
    std::uint32_t units_allocated() const { return capacity; }
    // Makes the value zero; the array stays allocated.
    void clear() { used = 0; }
    // Grows the array to exactly x units when it holds fewer; the value is kept.
    void reserve(std::uint32_t x);
    // Stores x at unit i, growing the array or lowering the used count as the invariants need.
    void set(std::uint32_t i, std::uint32_t x);
    // this = (x * y) mod 2^keep. Products of units at or above (keep + 31) / 32 are never
    // formed. x and y must be other objects than this.
    void fast_mul(const flex_unit& x, const flex_unit& y, std::uint32_t keep);

protected:
    // Lowers used past leading zero units.
    void trim() {
        while (used > 0 && units[used - 1] == 0)
            --used;
    }

    std::unique_ptr<std::uint32_t[]> units;
    std::uint32_t capacity = 0;
    std::uint32_t used = 0;
};
