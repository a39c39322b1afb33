#pragma once
// The minimum and maximum of a channel over aligned blocks of 2^k samples,
// so that the extremes of any pixel column come from a few blocks instead
// of every sample: a frame of an hour's log costs what one of a minute does.
// Values that are gaps (NaN) take part in no extreme.

#include <cmath>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace veloquin {

template <typename T>
class MinMaxSummary {
  public:
    // The smallest block summarised; a shorter stretch is read sample by sample.
    static constexpr std::size_t kBaseShift = 4;

    // `get(i)` is the value of sample i of n.
    template <typename Get>
    void build(std::size_t n, const Get& get) {
        lo_.clear();
        hi_.clear();
        std::size_t blocks = n >> kBaseShift;
        if (blocks == 0) return;
        lo_.emplace_back(blocks);
        hi_.emplace_back(blocks);
        for (std::size_t b = 0; b < blocks; ++b) {
            T lo = get(b << kBaseShift);
            T hi = lo;
            for (std::size_t i = (b << kBaseShift) + 1; i < (b + 1) << kBaseShift; ++i)
                take(get(i), lo, hi);
            lo_[0][b] = lo;
            hi_[0][b] = hi;
        }
        for (blocks /= 2; blocks > 0; blocks /= 2) {
            const std::vector<T>& lo_below = lo_.back();
            const std::vector<T>& hi_below = hi_.back();
            std::vector<T> lo(blocks);
            std::vector<T> hi(blocks);
            for (std::size_t b = 0; b < blocks; ++b) {
                lo[b] = lo_below[2 * b];
                hi[b] = hi_below[2 * b];
                take_pair(lo_below[2 * b + 1], hi_below[2 * b + 1], lo[b], hi[b]);
            }
            lo_.push_back(std::move(lo));
            hi_.push_back(std::move(hi));
        }
    }

    // The extremes of samples [a, b); false when every one is a gap.
    template <typename Get>
    bool range(std::size_t a, std::size_t b, const Get& get, T& lo, T& hi) const {
        bool any = false;
        auto sample = [&](std::size_t i) {
            const T v = get(i);
            if (is_gap(v)) return;
            if (!any) lo = hi = v;
            any = true;
            take(v, lo, hi);
        };
        constexpr std::size_t base = std::size_t{1} << kBaseShift;
        std::size_t i = a;
        for (; i < b && (i % base != 0 || i + base > b); ++i)
            sample(i);
        while (!lo_.empty() && i + base <= b && (i >> kBaseShift) < lo_[0].size()) {
            std::size_t level = 0;
            while (level + 1 < lo_.size() && (i >> kBaseShift) % (std::size_t{2} << level) == 0 &&
                   i + (base << (level + 1)) <= b &&
                   (i >> (kBaseShift + level + 1)) < lo_[level + 1].size())
                ++level;
            const std::size_t block = i >> (kBaseShift + level);
            const T block_lo = lo_[level][block];
            if (!is_gap(block_lo)) {
                if (!any) lo = hi = block_lo;
                any = true;
                take_pair(block_lo, hi_[level][block], lo, hi);
            }
            i += base << level;
        }
        for (; i < b; ++i)
            sample(i);
        return any;
    }

    bool empty() const { return lo_.empty(); }

  private:
    static bool is_gap(T v) {
        if constexpr (std::is_floating_point_v<T>) {
            return std::isnan(v);
        } else {
            return false;
        }
    }
    // A gap held so far gives way to any value; a gap offered changes nothing.
    static void take(T v, T& lo, T& hi) {
        if (is_gap(v)) return;
        if (is_gap(lo) || v < lo) lo = v;
        if (is_gap(hi) || hi < v) hi = v;
    }
    static void take_pair(T other_lo, T other_hi, T& lo, T& hi) {
        take(other_lo, lo, hi);
        take(other_hi, lo, hi);
    }

    std::vector<std::vector<T>> lo_;  // level k: blocks of 2^(kBaseShift + k) samples
    std::vector<std::vector<T>> hi_;
};

}  // namespace veloquin
