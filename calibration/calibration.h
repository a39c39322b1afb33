#pragma once
// The device's complete set of tables and parameters. The three regions are,
// word for word, the payloads of the six transfer blocks, so their layout is
// the device's and must not change: parameter record (header block), four
// 24 x 20 maps, curve block (sensors block).

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace veloquin {

// The two programs built from these sources. The lite program has no AFR
// protect page: it neither writes nor reads the "[AFR-PROTECT]" section and
// leaves the AFR protect output table as it finds it.
enum class Edition { full, lite };

inline constexpr int kMapRows = 24;
inline constexpr int kMapCols = 20;
inline constexpr int kMapCells = kMapRows * kMapCols;
inline constexpr int kHeaderWords = 182;
inline constexpr int kCurveWords = 428;

using Map = std::array<std::int16_t, kMapCells>;

enum class MapId { map_2_maf, fuel_correction, meth_correction, boost_duty };
inline constexpr int kMapCount = 4;

// Transfer blocks in the order they are uploaded and downloaded.
enum class Block { header, e_map, f_map, meth_map, boost_map, sensors };
inline constexpr int kBlockCount = 6;
inline constexpr std::array<Block, kBlockCount> kBlockOrder = {
    Block::header, Block::e_map, Block::f_map, Block::meth_map, Block::boost_map, Block::sensors};

// Word indexes of the parameter record.
namespace hw {
inline constexpr int EMULATE_MAF = 0;
inline constexpr int REV2x = 1;
inline constexpr int MAP_05V = 2;
inline constexpr int MAP_00V = 3;
inline constexpr int MAP_LO = 4;
inline constexpr int MAP_HI = 5;
inline constexpr int MAP_UNITS = 6;
inline constexpr int MAP_FILTER = 7;
inline constexpr int THROTTLE_LO = 8;
inline constexpr int THROTTLE_HI = 9;
inline constexpr int MAF_LO = 10;
inline constexpr int MAF_HI = 11;
inline constexpr int AFR_0V = 12;
inline constexpr int AFR_5V = 13;
inline constexpr int ACC_FACTOR = 14;
inline constexpr int ACC_DECAY = 15;
inline constexpr int ACC_TRESHOLD = 16;
inline constexpr int ACC_MAX = 17;
inline constexpr int FLM_LOAD = 18;
inline constexpr int EXTERNALTS = 19;
inline constexpr int REV_DIV = 20;
inline constexpr int SPD_DIV = 21;
inline constexpr int REV2x_RPMON = 22;
inline constexpr int REV2x_RPMOFF = 23;
inline constexpr int REV2x_FUELCORR = 24;
inline constexpr int REV2x_OFFSPEED = 25;
inline constexpr int REV2x_OFFTHROTTLE = 26;
inline constexpr int ACC_ENABLE = 32;
inline constexpr int O2FB = 33;
inline constexpr int O2FB_Target = 34;
inline constexpr int O2FB_MaxCorr = 35;
inline constexpr int O2FB_MaxLoad = 36;
inline constexpr int O2FB_MaxLoad_counts = 37;  // derived
inline constexpr int O2FB_Gain = 38;
inline constexpr int MAP_BAR_LO = 39;
inline constexpr int MAP_BAR_HI = 40;
inline constexpr int MAF_INVERT = 41;
inline constexpr int TPS_INVERT = 42;
inline constexpr int METH_MODE = 43;
inline constexpr int METH_BAR_LO = 44;
inline constexpr int METH_BAR_HI = 45;
inline constexpr int METH_BAR_LO_counts = 46;  // derived
inline constexpr int METH_BAR_HI_counts = 47;  // derived
inline constexpr int METH_FADE_IN = 48;
inline constexpr int METH_FADE_OUT = 49;
inline constexpr int ACC_DFACTOR = 50;
inline constexpr int EXTERNALKS = 51;
inline constexpr int KNOCKFUEL = 52;
inline constexpr int SW_A_NAME = 60;
inline constexpr int SW_B_NAME = 61;
inline constexpr int SW_C_NAME = 62;
inline constexpr int SW_D_NAME = 63;
inline constexpr int SWITCH_A = 64;
inline constexpr int SWITCH_B = 89;
inline constexpr int SWITCH_C = 114;
inline constexpr int SWITCH_D = 139;
inline constexpr int BOOST_DUTY_MIN = 164;
inline constexpr int BOOST_DUTY_MAX = 165;
inline constexpr int BOOST_HZ = 166;
inline constexpr int BOOST_HZ_device = 167;  // only in the copy sent to the device
inline constexpr int BOOST_START = 168;
inline constexpr int BOOST_START_counts = 169;  // derived
inline constexpr int BOOST_GEARJ_1 = 170;       // to BOOST_GEARJ_6 at 175
inline constexpr int BOOST_GEARD_1 = 176;       // to BOOST_GEARD_6 at 181
}  // namespace hw

// Word offsets inside a switch record (25 words; A, B, C, D follow each other).
namespace sw {
inline constexpr int kRecordWords = 25;
inline constexpr int kSwitchCount = 4;
inline constexpr int MODE = 0;
inline constexpr int RPM = 1;
inline constexpr int RPM1 = 2;
inline constexpr int RPM2 = 3;
inline constexpr int SPD = 4;
inline constexpr int SPD1 = 5;
inline constexpr int SPD2 = 6;
inline constexpr int MAP = 7;
inline constexpr int MAP1 = 8;
inline constexpr int MAP2 = 9;
inline constexpr int MAP1_counts = 10;  // derived
inline constexpr int MAP2_counts = 11;  // derived
inline constexpr int THR = 12;
inline constexpr int THR1 = 13;
inline constexpr int THR2 = 14;
inline constexpr int THR1_counts = 15;  // derived
inline constexpr int THR2_counts = 16;  // derived
inline constexpr int IAT = 17;
inline constexpr int IAT1 = 18;
inline constexpr int IAT2 = 19;
inline constexpr int IAT1_counts = 20;  // derived
inline constexpr int IAT2_counts = 21;  // derived
constexpr int record_start(int switch_index) {
    return hw::SWITCH_A + kRecordWords * switch_index;
}
}  // namespace sw

// Word offsets of the curves inside the curve block, with their point counts.
namespace cv {
inline constexpr int IAT_SENSOR = 0;
inline constexpr int IAT_SENSOR_POINTS = 33;
inline constexpr int IAT_CORRECTION = 34;
inline constexpr int IAT_CORRECTION_POINTS = 33;
inline constexpr int KNOCK = 68;
inline constexpr int KNOCK_POINTS = 21;
inline constexpr int KNOCK_EXTRA_POINT = 89;  // reserved word the knock calibration fills
inline constexpr int AFR_PROTECT = 102;
inline constexpr int AFR_PROTECT_POINTS = 17;
inline constexpr int AFR_OUTPUT = 119;
inline constexpr int AFR_OUTPUT_POINTS = 17;
inline constexpr int MAF_SENSOR = 136;
inline constexpr int MAF_SENSOR_POINTS = 33;
inline constexpr int MAF_REVERSE = 170;
inline constexpr int MAF_REVERSE_POINTS = 257;
}  // namespace cv

static_assert(sw::record_start(3) == hw::SWITCH_D);
static_assert(sw::record_start(3) + sw::kRecordWords == hw::BOOST_DUTY_MIN);
static_assert(hw::BOOST_GEARD_1 + 6 == kHeaderWords);
static_assert(cv::IAT_CORRECTION == cv::IAT_SENSOR + cv::IAT_SENSOR_POINTS + 1);
static_assert(cv::KNOCK == cv::IAT_CORRECTION + cv::IAT_CORRECTION_POINTS + 1);
static_assert(cv::AFR_PROTECT == cv::KNOCK + cv::KNOCK_POINTS + 13);
static_assert(cv::AFR_OUTPUT == cv::AFR_PROTECT + cv::AFR_PROTECT_POINTS);
static_assert(cv::MAF_SENSOR == cv::AFR_OUTPUT + cv::AFR_OUTPUT_POINTS);
static_assert(cv::MAF_REVERSE == cv::MAF_SENSOR + cv::MAF_SENSOR_POINTS + 1);
static_assert(cv::MAF_REVERSE + cv::MAF_REVERSE_POINTS + 1 == kCurveWords);

// A block counts as changed while its current sum differs from its synced sum.
inline constexpr std::uint32_t kNeverSynced = 0xFFFFFF;
struct BlockSums {
    std::uint32_t current = 0;
    std::uint32_t synced = 0;
};

struct Calibration {
    std::array<std::int16_t, kHeaderWords> header{};
    std::array<Map, kMapCount> maps{};
    std::array<std::int16_t, kCurveWords> curves{};
    std::array<BlockSums, kBlockCount> sums{};

    Map& map(MapId id) { return maps[static_cast<std::size_t>(id)]; }
    const Map& map(MapId id) const { return maps[static_cast<std::size_t>(id)]; }
    std::int16_t& cell(MapId id, int row, int col) {
        return map(id)[static_cast<std::size_t>(row * kMapCols + col)];
    }
    std::int16_t cell(MapId id, int row, int col) const {
        return map(id)[static_cast<std::size_t>(row * kMapCols + col)];
    }
    std::int16_t& param(int word) { return header[static_cast<std::size_t>(word)]; }
    std::int16_t param(int word) const { return header[static_cast<std::size_t>(word)]; }
    std::int16_t& curve_word(int word) { return curves[static_cast<std::size_t>(word)]; }
    std::int16_t curve_word(int word) const { return curves[static_cast<std::size_t>(word)]; }
    BlockSums& block_sums(Block b) { return sums[static_cast<std::size_t>(b)]; }
    const BlockSums& block_sums(Block b) const { return sums[static_cast<std::size_t>(b)]; }

    // The MAF curve and its reverse table are the unsigned words of the curve block.
    std::uint16_t maf_point(int i) const {
        return static_cast<std::uint16_t>(curves[static_cast<std::size_t>(cv::MAF_SENSOR + i)]);
    }
    void set_maf_point(int i, std::uint16_t v) {
        curves[static_cast<std::size_t>(cv::MAF_SENSOR + i)] = static_cast<std::int16_t>(v);
    }
    std::uint16_t maf_reverse(int k) const {
        return static_cast<std::uint16_t>(curves[static_cast<std::size_t>(cv::MAF_REVERSE + k)]);
    }
};

// The words of the region that travels as a block (the f-map before its conversion).
std::span<std::int16_t> block_words(Calibration& cal, Block b);
std::span<const std::int16_t> block_words(const Calibration& cal, Block b);
// The block's size on the wire in bytes.
int block_bytes(Block b);
// The name used in status texts: "header", "e-map", ...
std::string_view block_name(Block b);

// Sets the eight sensor start values and MAP_UNITS; everything else stays as it is.
void set_start_values(Calibration& cal);
// Every block counts as changed until it is transferred again.
void mark_all_unsynced(Calibration& cal);

// Stores an int into a word: only its low 16 bits are kept.
constexpr std::int16_t low16(long long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF));
}

}  // namespace veloquin
