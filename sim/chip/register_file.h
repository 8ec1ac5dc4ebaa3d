// The chip's registers, keyed by 32-bit chip address. A register nobody wrote reads 0.
#pragma once

#include <cstdint>
#include <unordered_map>

namespace sim::chip {

class RegisterFile {
public:
    uint32_t Get(uint32_t address) const
    {
        auto it = values_.find(address);
        return it == values_.end() ? 0 : it->second;
    }
    void Set(uint32_t address, uint32_t value) { values_[address] = value; }
    void Clear() { values_.clear(); }

private:
    std::unordered_map<uint32_t, uint32_t> values_;
};

}  // namespace sim::chip
