#pragma once

#include <numbers>

namespace orvex {

// 2 pi, and the float nearest to it (6.2831855f).
inline constexpr double kTwoPi = 2.0 * std::numbers::pi;
inline constexpr float kTwoPiFloat = static_cast<float>(kTwoPi);

}  // namespace orvex
