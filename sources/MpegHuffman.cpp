#include "MpegHuffman.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace {

// ISO/IEC 11172-3 Annex B, Table B.7, "Huffman code table" 1 to 24: the code words (hcod, bits
// right-aligned) and their lengths (hlen), in the table's order of x then y. Tables 16 and 24
// also serve 17..23 and 25..31, which differ only in linbits.
// Table 1: 2 x 2 pairs, x-major (entry x * 2 + y).
const uint16_t kCodes1[4] = {
    1,
    1,
    1,
    0,
};
const uint8_t kLengths1[4] = {
    1,
    3,
    2,
    3,
};

// Table 2: 3 x 3 pairs, x-major (entry x * 3 + y).
const uint16_t kCodes2[9] = {
    1, 2, 1, 3, 1, 1, 3, 2, 0,
};
const uint8_t kLengths2[9] = {
    1, 3, 6, 3, 3, 5, 5, 5, 6,
};

// Table 3: 3 x 3 pairs, x-major (entry x * 3 + y).
const uint16_t kCodes3[9] = {
    3, 2, 1, 1, 1, 1, 3, 2, 0,
};
const uint8_t kLengths3[9] = {
    2, 2, 6, 3, 2, 5, 5, 5, 6,
};

// Table 5: 4 x 4 pairs, x-major (entry x * 4 + y).
const uint16_t kCodes5[16] = {
    1, 2, 6, 5, 3, 1, 4, 4, 7, 5, 7, 1, 6, 1, 1, 0,
};
const uint8_t kLengths5[16] = {
    1, 3, 6, 7, 3, 3, 6, 7, 6, 6, 7, 8, 7, 6, 7, 8,
};

// Table 6: 4 x 4 pairs, x-major (entry x * 4 + y).
const uint16_t kCodes6[16] = {
    7, 3, 5, 1, 6, 2, 3, 2, 5, 4, 4, 1, 3, 3, 2, 0,
};
const uint8_t kLengths6[16] = {
    3, 3, 5, 7, 3, 2, 4, 5, 4, 4, 5, 6, 6, 5, 6, 7,
};

// Table 7: 6 x 6 pairs, x-major (entry x * 6 + y).
const uint16_t kCodes7[36] = {
    1,  2,  10, 19, 16, 10, 3, 3, 7, 10, 5, 3, 11, 4, 13, 17, 8, 4,
    12, 11, 18, 15, 11, 2,  7, 6, 9, 14, 3, 1, 6,  4, 5,  3,  2, 0,
};
const uint8_t kLengths7[36] = {
    1, 3, 6, 8, 8, 9, 3, 4, 6, 7, 7, 8,  6, 5, 7, 8,  8,  9,
    7, 7, 8, 9, 9, 9, 7, 7, 8, 9, 9, 10, 8, 8, 9, 10, 10, 10,
};

// Table 8: 6 x 6 pairs, x-major (entry x * 6 + y).
const uint16_t kCodes8[36] = {
    3,  4,  6,  18, 12, 5, 5,  1, 2, 16, 9, 3, 7,  3, 5, 14, 7, 3,
    19, 17, 15, 13, 10, 4, 13, 5, 8, 11, 5, 1, 12, 4, 4, 1,  1, 0,
};
const uint8_t kLengths8[36] = {
    2, 3, 6, 8, 8, 9,  3, 2, 4, 8, 8,  8,  6, 4, 6, 8, 8,  9,
    8, 8, 8, 9, 9, 10, 8, 7, 8, 9, 10, 10, 9, 8, 9, 9, 11, 11,
};

// Table 9: 6 x 6 pairs, x-major (entry x * 6 + y).
const uint16_t kCodes9[36] = {
    7,  5, 9, 14, 15, 7, 6,  4, 5, 5, 6, 7, 7,  6, 8, 8, 8, 5,
    15, 6, 9, 10, 5,  1, 11, 7, 9, 6, 4, 1, 14, 4, 6, 2, 6, 0,
};
const uint8_t kLengths9[36] = {
    3, 3, 5, 6, 8, 9, 3, 3, 4, 5, 6, 8, 4, 4, 5, 6, 7, 8,
    6, 5, 6, 7, 7, 8, 7, 6, 7, 7, 8, 9, 8, 7, 8, 8, 9, 9,
};

// Table 10: 8 x 8 pairs, x-major (entry x * 8 + y).
const uint16_t kCodes10[64] = {
    1,  2,  10, 23, 35, 30, 12, 17, 3,  3, 8,  12, 18, 21, 12, 7,  11, 9, 15, 21, 32, 40,
    19, 6,  14, 13, 22, 34, 46, 23, 18, 7, 20, 19, 33, 47, 27, 22, 9,  3, 31, 22, 41, 26,
    21, 20, 5,  3,  14, 13, 10, 11, 16, 6, 5,  1,  9,  8,  7,  8,  4,  4, 2,  0,
};
const uint8_t kLengths10[64] = {
    1,  3,  6,  8,  9, 9, 9,  10, 3,  4,  6,  7,  8, 9,  8,  8,  6,  6,  7,  8,  9,  10,
    9,  9,  7,  7,  8, 9, 10, 10, 9,  10, 8,  8,  9, 10, 10, 10, 10, 10, 9,  9,  10, 10,
    11, 11, 10, 11, 8, 8, 9,  10, 10, 10, 11, 11, 9, 8,  9,  10, 10, 11, 11, 11,
};

// Table 11: 8 x 8 pairs, x-major (entry x * 8 + y).
const uint16_t kCodes11[64] = {
    3,  4,  10, 24, 34, 33, 21, 15, 5,  3, 4,  10, 32, 17, 11, 10, 11, 7, 13, 18, 30, 31,
    20, 5,  25, 11, 19, 59, 27, 18, 12, 5, 35, 33, 31, 58, 30, 16, 7,  5, 28, 26, 32, 19,
    17, 15, 8,  14, 14, 12, 9,  13, 14, 9, 4,  1,  11, 4,  6,  6,  6,  3, 2,  0,
};
const uint8_t kLengths11[64] = {
    2,  3,  5,  7,  8, 9, 8, 9,  3, 3,  4,  6,  8, 8, 7, 8,  5,  5,  6,  7,  8, 9,
    8,  8,  7,  6,  7, 9, 8, 10, 8, 9,  8,  8,  8, 9, 9, 10, 9,  10, 8,  8,  9, 10,
    10, 11, 10, 11, 8, 7, 7, 8,  9, 10, 10, 10, 8, 7, 8, 9,  10, 10, 10, 10,
};

// Table 12: 8 x 8 pairs, x-major (entry x * 8 + y).
const uint16_t kCodes12[64] = {
    9,  6,  16, 33, 41, 39, 38, 26, 7,  5, 6,  9,  23, 16, 26, 11, 17, 7, 11, 14, 21, 30,
    10, 7,  17, 10, 15, 12, 18, 28, 14, 5, 32, 13, 22, 19, 18, 16, 9,  5, 40, 17, 31, 29,
    17, 13, 4,  2,  27, 12, 11, 15, 10, 7, 4,  1,  27, 12, 8,  12, 6,  3, 1,  0,
};
const uint8_t kLengths12[64] = {
    4, 3, 5, 7, 8, 9, 9, 9, 3, 3, 4, 5, 7, 7, 8, 8, 5, 4, 5, 6, 7, 8, 7, 8,  6, 5, 6, 6, 7, 8, 8, 8,
    7, 6, 7, 7, 8, 8, 8, 9, 8, 7, 8, 8, 8, 9, 8, 9, 8, 7, 7, 8, 8, 9, 9, 10, 9, 8, 8, 9, 9, 9, 9, 10,
};

// Table 13: 16 x 16 pairs, x-major (entry x * 16 + y).
const uint16_t kCodes13[256] = {
    1,  5,  14, 21, 34, 51, 46, 71, 42, 52, 68, 52, 67, 44, 43, 19, 3,  4,  12,  19, 31, 26, 44,  33, 31, 24,
    32, 24, 31, 35, 22, 14, 15, 13, 23, 36, 59, 49, 77, 65, 29, 40, 30, 40, 27,  33, 42, 16, 22,  20, 37, 61,
    56, 79, 73, 64, 43, 76, 56, 37, 26, 31, 25, 14, 35, 16, 60, 57, 97, 75, 114, 91, 54, 73, 55,  41, 48, 53,
    23, 24, 58, 27, 50, 96, 76, 70, 93, 84, 77, 58, 79, 29, 74, 49, 41, 17, 47,  45, 78, 74, 115, 94, 90, 79,
    69, 83, 71, 50, 59, 38, 36, 15, 72, 34, 56, 95, 92, 85, 91, 90, 86, 73, 77,  65, 51, 44, 43,  42, 43, 20,
    30, 44, 55, 78, 72, 87, 78, 61, 46, 54, 37, 30, 20, 16, 53, 25, 41, 37, 44,  59, 54, 81, 66,  76, 57, 54,
    37, 18, 39, 11, 35, 33, 31, 57, 42, 82, 72, 80, 47, 58, 55, 21, 22, 26, 38,  22, 53, 25, 23,  38, 70, 60,
    51, 36, 55, 26, 34, 23, 27, 14, 9,  7,  34, 32, 28, 39, 49, 75, 30, 52, 48,  40, 52, 28, 18,  17, 9,  5,
    45, 21, 34, 64, 56, 50, 49, 45, 31, 19, 12, 15, 10, 7,  6,  3,  48, 23, 20,  39, 36, 35, 53,  21, 16, 23,
    13, 10, 6,  1,  4,  2,  16, 15, 17, 27, 25, 20, 29, 11, 17, 12, 16, 8,  1,   1,  0,  1,
};
const uint8_t kLengths13[256] = {
    1,  4,  6,  7,  8,  9,  9,  10, 9,  10, 11, 11, 12, 12, 13, 13, 3,  4,  6,  7,  8,  8,  9,  9,  9,  9,
    10, 10, 11, 12, 12, 12, 6,  6,  7,  8,  9,  9,  10, 10, 9,  10, 10, 11, 11, 12, 13, 13, 7,  7,  8,  9,
    9,  10, 10, 10, 10, 11, 11, 11, 11, 12, 13, 13, 8,  7,  9,  9,  10, 10, 11, 11, 10, 11, 11, 12, 12, 13,
    13, 14, 9,  8,  9,  10, 10, 10, 11, 11, 11, 11, 12, 11, 13, 13, 14, 14, 9,  9,  10, 10, 11, 11, 11, 11,
    11, 12, 12, 12, 13, 13, 14, 14, 10, 9,  10, 11, 11, 11, 12, 12, 12, 12, 13, 13, 13, 14, 16, 16, 9,  8,
    9,  10, 10, 11, 11, 12, 12, 12, 12, 13, 13, 14, 15, 15, 10, 9,  10, 10, 11, 11, 11, 13, 12, 13, 13, 14,
    14, 14, 16, 15, 10, 10, 10, 11, 11, 12, 12, 13, 12, 13, 14, 13, 14, 15, 16, 17, 11, 10, 10, 11, 12, 12,
    12, 12, 13, 13, 13, 14, 15, 15, 15, 16, 11, 11, 11, 12, 12, 13, 12, 13, 14, 14, 15, 15, 15, 16, 16, 16,
    12, 11, 12, 13, 13, 13, 14, 14, 14, 14, 14, 15, 16, 15, 16, 16, 13, 12, 12, 13, 13, 13, 15, 14, 14, 17,
    15, 15, 15, 17, 16, 16, 12, 12, 13, 14, 14, 14, 15, 14, 15, 15, 16, 16, 19, 18, 19, 16,
};

// Table 15: 16 x 16 pairs, x-major (entry x * 16 + y).
const uint16_t kCodes15[256] = {
    7,   12, 18, 53, 47, 76, 124, 108, 89,  123, 108, 119, 107, 81, 122, 63, 13,  5,  16, 27, 46, 36, 61, 51,
    42,  70, 52, 83, 65, 41, 59,  36,  19,  17,  15,  24,  41,  34, 59,  48, 40,  64, 50, 78, 62, 80, 56, 33,
    29,  28, 25, 43, 39, 63, 55,  93,  76,  59,  93,  72,  54,  75, 50,  29, 52,  22, 42, 40, 67, 57, 95, 79,
    72,  57, 89, 69, 49, 66, 46,  27,  77,  37,  35,  66,  58,  52, 91,  74, 62,  48, 79, 63, 90, 62, 40, 38,
    125, 32, 60, 56, 50, 92, 78,  65,  55,  87,  71,  51,  73,  51, 70,  30, 109, 53, 49, 94, 88, 75, 66, 122,
    91,  73, 56, 42, 64, 44, 21,  25,  90,  43,  41,  77,  73,  63, 56,  92, 77,  66, 47, 67, 48, 53, 36, 20,
    71,  34, 67, 60, 58, 49, 88,  76,  67,  106, 71,  54,  38,  39, 23,  15, 109, 53, 51, 47, 90, 82, 58, 57,
    48,  72, 57, 41, 23, 27, 62,  9,   86,  42,  40,  37,  70,  64, 52,  43, 70,  55, 42, 25, 29, 18, 11, 11,
    118, 68, 30, 55, 50, 46, 74,  65,  49,  39,  24,  16,  22,  13, 14,  7,  91,  44, 39, 38, 34, 63, 52, 45,
    31,  52, 28, 19, 14, 8,  9,   3,   123, 60,  58,  53,  47,  43, 32,  22, 37,  24, 17, 12, 15, 10, 2,  1,
    71,  37, 34, 30, 28, 20, 17,  26,  21,  16,  10,  6,   8,   6,  2,   0,
};
const uint8_t kLengths15[256] = {
    3,  4,  5,  7,  7,  8,  9,  9,  9,  10, 10, 11, 11, 11, 12, 13, 4,  3,  5,  6,  7,  7,  8,  8,  8,  9,
    9,  10, 10, 10, 11, 11, 5,  5,  5,  6,  7,  7,  8,  8,  8,  9,  9,  10, 10, 11, 11, 11, 6,  6,  6,  7,
    7,  8,  8,  9,  9,  9,  10, 10, 10, 11, 11, 11, 7,  6,  7,  7,  8,  8,  9,  9,  9,  9,  10, 10, 10, 11,
    11, 11, 8,  7,  7,  8,  8,  8,  9,  9,  9,  9,  10, 10, 11, 11, 11, 12, 9,  7,  8,  8,  8,  9,  9,  9,
    9,  10, 10, 10, 11, 11, 12, 12, 9,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 10, 11, 11, 11, 12, 9,  8,
    8,  9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 12, 12, 12, 9,  8,  9,  9,  9,  9,  10, 10, 10, 11, 11, 11,
    11, 12, 12, 12, 10, 9,  9,  9,  10, 10, 10, 10, 10, 11, 11, 11, 11, 12, 13, 12, 10, 9,  9,  9,  10, 10,
    10, 10, 11, 11, 11, 11, 12, 12, 12, 13, 11, 10, 9,  10, 10, 10, 11, 11, 11, 11, 11, 11, 12, 12, 13, 13,
    11, 10, 10, 10, 10, 11, 11, 11, 11, 12, 12, 12, 12, 12, 13, 13, 12, 11, 11, 11, 11, 11, 11, 11, 12, 12,
    12, 12, 13, 13, 12, 13, 12, 11, 11, 11, 11, 11, 11, 12, 12, 12, 12, 12, 13, 13, 13, 13,
};

// Table 16: 16 x 16 pairs, x-major (entry x * 16 + y).
const uint16_t kCodes16[256] = {
    1,   5,    14,  44,  74,  63,  110,  93,  172, 149, 138, 242, 225, 195, 376,  17,  3,    4,    12,  20,
    35,  62,   53,  47,  83,  75,  68,   119, 201, 107, 207, 9,   15,  13,  23,   38,  67,   58,   103, 90,
    161, 72,   127, 117, 110, 209, 206,  16,  45,  21,  39,  69,  64,  114, 99,   87,  158,  140,  252, 212,
    199, 387,  365, 26,  75,  36,  68,   65,  115, 101, 179, 164, 155, 264, 246,  226, 395,  382,  362, 9,
    66,  30,   59,  56,  102, 185, 173,  265, 142, 253, 232, 400, 388, 378, 445,  16,  111,  54,   52,  100,
    184, 178,  160, 133, 257, 244, 228,  217, 385, 366, 715, 10,  98,  48,  91,   88,  165,  157,  148, 261,
    248, 407,  397, 372, 380, 889, 884,  8,   85,  84,  81,  159, 156, 143, 260,  249, 427,  401,  392, 383,
    727, 713,  708, 7,   154, 76,  73,   141, 131, 256, 245, 426, 406, 394, 384,  735, 359,  710,  352, 11,
    139, 129,  67,  125, 247, 233, 229,  219, 393, 743, 737, 720, 885, 882, 439,  4,   243,  120,  118, 115,
    227, 223,  396, 746, 742, 736, 721,  712, 706, 223, 436, 6,   202, 224, 222,  218, 216,  389,  386, 381,
    364, 888,  443, 707, 440, 437, 1728, 4,   747, 211, 210, 208, 370, 379, 734,  723, 714,  1735, 883, 877,
    876, 3459, 865, 2,   377, 369, 102,  187, 726, 722, 358, 711, 709, 866, 1734, 871, 3458, 870,  434, 0,
    12,  10,   7,   11,  10,  17,  11,   9,   13,  12,  10,  7,   5,   3,   1,    3,
};
const uint8_t kLengths16[256] = {
    1,  4,  6,  8,  9,  9,  10, 10, 11, 11, 11, 12, 12, 12, 13, 9,  3,  4,  6,  7,  8,  9,  9,  9,  10, 10,
    10, 11, 12, 11, 12, 8,  6,  6,  7,  8,  9,  9,  10, 10, 11, 10, 11, 11, 11, 12, 12, 9,  8,  7,  8,  9,
    9,  10, 10, 10, 11, 11, 12, 12, 12, 13, 13, 10, 9,  8,  9,  9,  10, 10, 11, 11, 11, 12, 12, 12, 13, 13,
    13, 9,  9,  8,  9,  9,  10, 11, 11, 12, 11, 12, 12, 13, 13, 13, 14, 10, 10, 9,  9,  10, 11, 11, 11, 11,
    12, 12, 12, 12, 13, 13, 14, 10, 10, 9,  10, 10, 11, 11, 11, 12, 12, 13, 13, 13, 13, 15, 15, 10, 10, 10,
    10, 11, 11, 11, 12, 12, 13, 13, 13, 13, 14, 14, 14, 10, 11, 10, 10, 11, 11, 12, 12, 13, 13, 13, 13, 14,
    13, 14, 13, 11, 11, 11, 10, 11, 12, 12, 12, 12, 13, 14, 14, 14, 15, 15, 14, 10, 12, 11, 11, 11, 12, 12,
    13, 14, 14, 14, 14, 14, 14, 13, 14, 11, 12, 12, 12, 12, 12, 13, 13, 13, 13, 15, 14, 14, 14, 14, 16, 11,
    14, 12, 12, 12, 13, 13, 14, 14, 14, 16, 15, 15, 15, 17, 15, 11, 13, 13, 11, 12, 14, 14, 13, 14, 14, 15,
    16, 15, 17, 15, 14, 11, 9,  8,  8,  9,  9,  10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 8,
};

// Table 24: 16 x 16 pairs, x-major (entry x * 16 + y).
const uint16_t kCodes24[256] = {
    15,  13,  46,  80,  146,  262, 248, 434, 426, 669, 653, 649, 621, 517, 1032, 88,  14,  12,  21,  38,
    71,  130, 122, 216, 209,  198, 327, 345, 319, 297, 279, 42,  47,  22,  41,   74,  68,  128, 120, 221,
    207, 194, 182, 340, 315,  295, 541, 18,  81,  39,  75,  70,  134, 125, 116,  220, 204, 190, 178, 325,
    311, 293, 271, 16,  147,  72,  69,  135, 127, 118, 112, 210, 200, 188, 352,  323, 306, 285, 540, 14,
    263, 66,  129, 126, 119,  114, 214, 202, 192, 180, 341, 317, 301, 281, 262,  12,  249, 123, 121, 117,
    113, 215, 206, 195, 185,  347, 330, 308, 291, 272, 520, 10,  435, 115, 111,  109, 211, 203, 196, 187,
    353, 332, 313, 298, 283,  531, 381, 17,  427, 212, 208, 205, 201, 193, 186,  177, 169, 320, 303, 286,
    268, 514, 377, 16,  335,  199, 197, 191, 189, 181, 174, 333, 321, 305, 289,  275, 521, 379, 371, 11,
    668, 184, 183, 179, 175,  344, 331, 314, 304, 290, 277, 530, 383, 373, 366,  10,  652, 346, 171, 168,
    164, 318, 309, 299, 287,  276, 263, 513, 375, 368, 362, 6,   648, 322, 316,  312, 307, 302, 292, 284,
    269, 261, 512, 376, 370,  364, 359, 4,   620, 300, 296, 294, 288, 282, 273,  266, 515, 380, 374, 369,
    365, 361, 357, 2,   1033, 280, 278, 274, 267, 264, 259, 382, 378, 372, 367,  363, 360, 358, 356, 0,
    43,  20,  19,  17,  15,   13,  11,  9,   7,   6,   4,   7,   5,   3,   1,    3,
};
const uint8_t kLengths24[256] = {
    4,  4,  6,  7,  8,  9,  9,  10, 10, 11, 11, 11, 11, 11, 12, 9,  4,  4,  5,  6,  7,  8,  8,  9,  9,  9,
    10, 10, 10, 10, 10, 8,  6,  5,  6,  7,  7,  8,  8,  9,  9,  9,  9,  10, 10, 10, 11, 7,  7,  6,  7,  7,
    8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 7,  8,  7,  7,  8,  8,  8,  8,  9,  9,  9,  10, 10, 10, 10,
    11, 7,  9,  7,  8,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 10, 7,  9,  8,  8,  8,  8,  9,  9,  9,
    9,  10, 10, 10, 10, 10, 11, 7,  10, 8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 10, 11, 11, 8,  10, 9,
    9,  9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 8,  10, 9,  9,  9,  9,  9,  9,  10, 10, 10, 10, 10,
    11, 11, 11, 8,  11, 9,  9,  9,  9,  10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 8,  11, 10, 9,  9,  9,  10,
    10, 10, 10, 10, 10, 11, 11, 11, 11, 8,  11, 10, 10, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 8,
    11, 10, 10, 10, 10, 10, 10, 10, 11, 11, 11, 11, 11, 11, 11, 8,  12, 10, 10, 10, 10, 10, 10, 11, 11, 11,
    11, 11, 11, 11, 11, 8,  8,  7,  7,  7,  7,  7,  7,  7,  7,  7,  7,  8,  8,  8,  8,  4,
};

// Tables A and B of the count1 region, entry index v * 8 + w * 4 + x * 2 + y.
const uint16_t kCodesA[16] = {1, 5, 4, 5, 6, 5, 4, 4, 7, 3, 6, 0, 7, 2, 3, 1};
const uint8_t kLengthsA[16] = {1, 4, 4, 5, 4, 6, 5, 6, 4, 5, 5, 6, 5, 6, 6, 6};
const uint16_t kCodesB[16] = {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
const uint8_t kLengthsB[16] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};

using CodeTable = CMpegHuffman::CodeTable;

// table_select -> (size, linbits, code words): the standard's list of the 32 tables.
const CodeTable kPairCodeTables[CMpegHuffman::kPairTables] = {
    {0, 0, nullptr, nullptr},       {2, 0, kCodes1, kLengths1},     {3, 0, kCodes2, kLengths2},
    {3, 0, kCodes3, kLengths3},     {0, 0, nullptr, nullptr},       {4, 0, kCodes5, kLengths5},
    {4, 0, kCodes6, kLengths6},     {6, 0, kCodes7, kLengths7},     {6, 0, kCodes8, kLengths8},
    {6, 0, kCodes9, kLengths9},     {8, 0, kCodes10, kLengths10},   {8, 0, kCodes11, kLengths11},
    {8, 0, kCodes12, kLengths12},   {16, 0, kCodes13, kLengths13},  {0, 0, nullptr, nullptr},
    {16, 0, kCodes15, kLengths15},  {16, 1, kCodes16, kLengths16},  {16, 2, kCodes16, kLengths16},
    {16, 3, kCodes16, kLengths16},  {16, 4, kCodes16, kLengths16},  {16, 6, kCodes16, kLengths16},
    {16, 8, kCodes16, kLengths16},  {16, 10, kCodes16, kLengths16}, {16, 13, kCodes16, kLengths16},
    {16, 4, kCodes24, kLengths24},  {16, 5, kCodes24, kLengths24},  {16, 6, kCodes24, kLengths24},
    {16, 7, kCodes24, kLengths24},  {16, 8, kCodes24, kLengths24},  {16, 9, kCodes24, kLengths24},
    {16, 11, kCodes24, kLengths24}, {16, 13, kCodes24, kLengths24},
};
const CodeTable kQuadTables[2] = {{2, 0, kCodesA, kLengthsA}, {2, 0, kCodesB, kLengthsB}};

// Lookup entries, 16 bits:
//   leaf:     bit 15 clear, bits 8..11 the bits to consume at this level, bits 0..7 the value
//             (x * 16 + y for pairs, the entry index for quadruples);
//   sub-table: bit 15 set, bits 12..14 its width in bits minus one, bits 0..11 its offset from
//             the start of the code table's lookup.
constexpr uint16_t kSubTableFlag = 0x8000;
constexpr int kMaxOffset = 0xFFF;

struct Code {
    uint32_t bits;
    int length;
    uint8_t value;
};

struct Lookup {
    // Sized for all tables with room to spare; Build asserts it.
    static constexpr int kCapacity = 12288;
    std::array<uint16_t, kCapacity> entries{};
    int used = 0;
    std::array<int, CMpegHuffman::kPairTables> start{};
    std::array<int, CMpegHuffman::kPairTables> firstBits{};
    std::array<int, 2> quadStart{};
    std::array<int, 2> quadBits{};
};

// Fills the level of width `bits` at entries[base..] for the codes that begin with `prefix`
// (prefixLength bits), and recurses into sub-tables for the longer ones.
void FillLevel(Lookup& lookup, int tableStart, int base, const std::vector<Code>& codes, uint32_t prefix,
               int prefixLength, int bits)
{
    std::vector<int> longest(size_t{1} << bits, 0);
    for (const Code& code : codes) {
        if (code.length <= prefixLength || (code.bits >> (code.length - prefixLength)) != prefix)
            continue;
        const int rest = code.length - prefixLength;
        const uint32_t restBits = code.bits & ((1u << rest) - 1);
        if (rest <= bits) {
            const int shift = bits - rest;
            for (uint32_t i = 0; i < (1u << shift); ++i)
                lookup.entries[base + ((restBits << shift) | i)] =
                    static_cast<uint16_t>((rest << 8) | code.value);
        } else {
            const uint32_t slot = restBits >> (rest - bits);
            longest[slot] = std::max(longest[slot], rest - bits);
        }
    }
    for (uint32_t slot = 0; slot < longest.size(); ++slot) {
        if (longest[slot] == 0)
            continue;
        const int subBits = std::min(longest[slot], CMpegHuffman::kFirstLevelBits);
        const int subBase = lookup.used;
        lookup.used += 1 << subBits;
        assert(lookup.used <= Lookup::kCapacity);
        assert(subBase - tableStart <= kMaxOffset);
        lookup.entries[base + slot] =
            static_cast<uint16_t>(kSubTableFlag | ((subBits - 1) << 12) | (subBase - tableStart));
        FillLevel(lookup, tableStart, subBase, codes, (prefix << bits) | slot, prefixLength + bits, subBits);
    }
}

// Builds the lookup of one code table; returns the width of its first level.
int BuildTable(Lookup& lookup, const CodeTable& table, bool quadruples, int& start)
{
    std::vector<Code> codes;
    int maxLength = 0;
    const int entries = quadruples ? 16 : table.size * table.size;
    for (int i = 0; i < entries; ++i) {
        const uint8_t value = quadruples ? static_cast<uint8_t>(i)
                                         : static_cast<uint8_t>(((i / table.size) << 4) | (i % table.size));
        codes.push_back({table.codes[i], table.lengths[i], value});
        maxLength = std::max(maxLength, static_cast<int>(table.lengths[i]));
    }
    const int bits = std::min(maxLength, CMpegHuffman::kFirstLevelBits);
    start = lookup.used;
    lookup.used += 1 << bits;
    assert(lookup.used <= Lookup::kCapacity);
    FillLevel(lookup, start, start, codes, 0, 0, bits);
    return bits;
}

const Lookup& Tables()
{
    constexpr int kPairTables = CMpegHuffman::kPairTables;
    // Built on first use (thread-safe static); decoding afterwards only reads it.
    static const Lookup lookup = [] {
        Lookup built;
        for (int t = 0; t < kPairTables; ++t) {
            const CodeTable& table = kPairCodeTables[t];
            if (table.size == 0)
                continue;
            // Tables sharing code words share one lookup.
            const int same = t > 16 && t < 24 ? 16 : (t > 24 ? 24 : t);
            if (same != t) {
                built.start[t] = built.start[same];
                built.firstBits[t] = built.firstBits[same];
                continue;
            }
            built.firstBits[t] = BuildTable(built, table, false, built.start[t]);
        }
        for (int q = 0; q < 2; ++q)
            built.quadBits[q] = BuildTable(built, kQuadTables[q], true, built.quadStart[q]);
        return built;
    }();
    return lookup;
}

// A non-zero value is followed by its sign bit (1 = negative); zero has none. Branch-free, as
// signs are random.
inline int32_t ApplySign(CMpegBitReader& reader, int32_t value)
{
    const int32_t present = value != 0;
    const int32_t negative = static_cast<int32_t>(reader.Peek(1)) & present;
    reader.Skip(present);
    return (value ^ -negative) + negative;
}

} // namespace

const CMpegHuffman::CodeTable& CMpegHuffman::PairTable(int table)
{
    return kPairCodeTables[table & (kPairTables - 1)];
}

const CMpegHuffman::CodeTable& CMpegHuffman::QuadTable(int table)
{
    return kQuadTables[table & 1];
}

int CMpegHuffman::DecodePairs(CMpegBitReader& reader, int table, int pairCount, int endBit, int32_t* out)
{
    const CodeTable& code = PairTable(table);
    if (code.size == 0) {
        std::fill(out, out + 2 * pairCount, 0);
        return pairCount;
    }
    const Lookup& lookup = Tables();
    const uint16_t* entries = lookup.entries.data() + lookup.start[table & (CMpegHuffman::kPairTables - 1)];
    const int firstBits = lookup.firstBits[table & (CMpegHuffman::kPairTables - 1)];
    const int linbits = code.linbits;
    for (int i = 0; i < pairCount; ++i) {
        reader.Refill();
        int bits = firstBits;
        uint32_t entry = entries[reader.Peek(bits)];
        while (entry & kSubTableFlag) {
            reader.Skip(bits);
            bits = static_cast<int>((entry >> 12) & 7) + 1;
            entry = entries[(entry & kMaxOffset) + reader.Peek(bits)];
        }
        reader.Skip(static_cast<int>((entry >> 8) & 15));
        int32_t x = static_cast<int32_t>((entry >> 4) & 15);
        int32_t y = static_cast<int32_t>(entry & 15);
        if (x == 15 && linbits != 0) {
            x += static_cast<int32_t>(reader.Peek(linbits));
            reader.Skip(linbits);
        }
        x = ApplySign(reader, x);
        if (y == 15 && linbits != 0) {
            y += static_cast<int32_t>(reader.Peek(linbits));
            reader.Skip(linbits);
        }
        out[2 * i] = x;
        out[2 * i + 1] = ApplySign(reader, y);
    }
    // Checked once per region rather than per pair: past its end a corrupt region only reads
    // zeros or the next region's bits, and pairCount bounds it either way.
    return reader.BitPosition() > endBit ? -1 : pairCount;
}

int CMpegHuffman::DecodeQuads(CMpegBitReader& reader, int table, int first, int endBit, int32_t* out)
{
    const Lookup& lookup = Tables();
    const uint16_t* entries = lookup.entries.data() + lookup.quadStart[table & 1];
    const int bits = lookup.quadBits[table & 1];
    int index = first;
    while (index + 4 <= 576) {
        reader.Refill();
        if (reader.BitPosition() >= endBit)
            break;
        const uint32_t entry = entries[reader.Peek(bits)];
        reader.Skip(static_cast<int>((entry >> 8) & 15));
        int32_t values[4];
        for (int k = 0; k < 4; ++k) {
            int32_t value = static_cast<int32_t>((entry >> (3 - k)) & 1);
            if (value != 0) {
                value = reader.Peek(1) ? -1 : 1;
                reader.Skip(1);
            }
            values[k] = value;
        }
        if (reader.BitPosition() > endBit)
            break;
        for (int k = 0; k < 4; ++k)
            out[index + k] = values[k];
        index += 4;
    }
    return index;
}
