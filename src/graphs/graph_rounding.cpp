#include "graphs/graph_rounding.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace dova {

namespace {

// Beyond this size a double has no digits after the point worth rounding, and the tenths
// still fit a 64-bit integer exactly.
constexpr double kLargestRounded = 1e14;
// Below this, distinct numbers of hundredths are far more than a double's step apart, so
// two decimal forms that read back as the same double are the same number.
constexpr double kHundredthsExact = 1e9;

}  // namespace

double RoundToTenth(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= kLargestRounded) return value;
  // Far below a twentieth nothing can round up; this also keeps the decimal form short.
  if (std::fabs(value) < 0.04) return 0.0;
  const bool negative = std::signbit(value);
  // Readings come with two decimals at most. When the value is a whole number of
  // hundredths (that number divided by 100 gives the same double back), its shortest
  // decimal form has those digits, and the hundredths decide without writing it out.
  if (std::fabs(value) < kHundredthsExact) {
    const double hundredths = std::nearbyint(std::fabs(value) * 100.0);
    if (hundredths / 100.0 == std::fabs(value)) {
      const auto whole = static_cast<std::int64_t>(hundredths);
      std::int64_t tenths = whole / 10;
      const std::int64_t rest = whole % 10;
      if (rest > 5 || (rest == 5 && tenths % 2 != 0)) ++tenths;
      if (tenths == 0) return 0.0;
      const double magnitude = static_cast<double>(tenths) / 10.0;
      return negative ? -magnitude : magnitude;
    }
  }
  // The shortest fixed form that reads back as the same double, e.g. "36.95".
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed);
  if (res.ec != std::errc()) return value;
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);

  std::int64_t tenths = 0;
  for (char c : whole)
    tenths = tenths * 10 + (c - '0');
  tenths = tenths * 10 + (fraction.empty() ? 0 : fraction[0] - '0');
  // What lies below the tenth decides: more than half up, exactly half to even.
  const std::string_view rest = fraction.size() > 1 ? fraction.substr(1) : std::string_view();
  if (!rest.empty()) {
    const bool above_half = rest[0] > '5' || (rest[0] == '5' && rest.size() > 1);
    const bool exactly_half = rest == "5";
    if (above_half || (exactly_half && tenths % 2 != 0)) ++tenths;
  }
  if (tenths == 0) return 0.0;
  const double magnitude = static_cast<double>(tenths) / 10.0;
  return negative ? -magnitude : magnitude;
}

double RoundToFive(double value) {
  if (!std::isfinite(value)) return value;
  // Twice the flow to the nearest ten, halved, is the flow in fives rounded half to even.
  // A half-way flow (5k + 2.5) divides by 5 exactly, so the tie is seen exactly.
  const double fives = value / 5.0;
  double whole = std::floor(fives);
  const double diff = fives - whole;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  const double result = whole * 5.0;
  return result == 0.0 ? 0.0 : result;
}

std::int32_t RaisePast(std::int32_t value, long double bound) {
  if (!(static_cast<long double>(value) <= bound)) return value;
  const long double next = std::floor(bound) + 1.0L;
  if (next >= static_cast<long double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(next);
}

std::int32_t LowerPast(std::int32_t value, long double bound) {
  if (!(static_cast<long double>(value) >= bound)) return value;
  const long double next = std::ceil(bound) - 1.0L;
  if (next <= static_cast<long double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(next);
}

}  // namespace dova
