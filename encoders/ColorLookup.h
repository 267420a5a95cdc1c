#pragma once
// Colour -> palette index for the GIF encoders' palette building.
//
// Palettes hold distinct colours, so the index of the only match is also the
// first match a linear search of the palette would find; a hash keeps that
// result without scanning up to 256 entries for every pixel.

#include <array>
#include <cstdint>

class ColorLookup {
public:
    static constexpr int NOT_FOUND = -1;

    ColorLookup() { slots_.fill(Slot{}); }

    // Palette index of colour, or NOT_FOUND.
    int find(uint32_t colour) const {
        // The table is at most a quarter full, so the first slot nearly
        // always answers; an empty slot ends the search.
        uint32_t s = hash(colour);
        for (;; s = (s + 1) & MASK) {
            const Slot& slot = slots_[s];
            if (slot.colour == colour || slot.index == NOT_FOUND) return slot.index;
        }
    }

    // Records colour (not yet present) at index.
    void add(uint32_t colour, int index) {
        uint32_t s = hash(colour);
        while (slots_[s].index != NOT_FOUND) s = (s + 1) & MASK;
        slots_[s] = Slot{colour, index};
    }

private:
    // 256 colours at most: the table never gets more than a quarter full.
    static constexpr uint32_t SIZE = 1024;
    static constexpr uint32_t MASK = SIZE - 1;
    struct Slot {
        uint32_t colour = 0;
        int index = NOT_FOUND;
    };

    static uint32_t hash(uint32_t colour) { return (colour * 0x9E3779B1u) >> 22; }
    std::array<Slot, SIZE> slots_;
};
