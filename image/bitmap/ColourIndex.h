// The palette index of a colour, found without searching the palette: a
// small table from a 32-bit key (a colour, with or without its alpha) to a
// palette index, open addressed, for palettes of at most 256 colours.
#pragma once

#include <cstdint>

class TColourIndex {
public:
    TColourIndex() { Clear(); }
    void Clear()
    {
        for (auto& index : index_)
            index = -1;
    }
    // The index stored for key, or -1.
    int Find(std::uint32_t key) const
    {
        for (std::uint32_t slot = Slot(key); index_[slot] >= 0; slot = (slot + 1) & (kSlots - 1))
            if (key_[slot] == key)
                return index_[slot];
        return -1;
    }
    // Stores index for key unless the key has one already (so a repeated
    // palette colour keeps its first index); the key's index.
    int Insert(std::uint32_t key, int index)
    {
        std::uint32_t slot = Slot(key);
        for (; index_[slot] >= 0; slot = (slot + 1) & (kSlots - 1))
            if (key_[slot] == key)
                return index_[slot];
        key_[slot] = key;
        index_[slot] = std::int16_t(index);
        return index;
    }

private:
    static constexpr std::uint32_t kSlots = 1024; // four times the largest palette
    static std::uint32_t Slot(std::uint32_t key) { return (key * 2654435761u) >> 22; } // 10 bits
    std::uint32_t key_[kSlots] = {};
    std::int16_t index_[kSlots];
};
