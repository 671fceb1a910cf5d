// The three process-wide sample matrices of the analysis: 512 columns of 512
// signed 32-bit entries each, zero at start and never released. The entry for
// image column x and row y lies at flat position x * MatrixSize + y.
#pragma once

#include <cstdint>

constexpr int MatrixSize = 512;

using TMatrix = std::int32_t[MatrixSize * MatrixSize];

extern TMatrix CaptureMatrix; // the TColor of each captured pixel
extern TMatrix ChannelMatrix; // CaptureMatrix >> 16: the blue byte
extern TMatrix HaarMatrix;    // pairwise sums, then differences, of ChannelMatrix

// The entry for column x, row y.
inline std::int32_t& At(TMatrix& matrix, int x, int y) { return matrix[x * MatrixSize + y]; }
inline std::int32_t At(const TMatrix& matrix, int x, int y) { return matrix[x * MatrixSize + y]; }
