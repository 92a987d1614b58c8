#include "history/period_stats.h"

#include <algorithm>
#include <cmath>

namespace dova {

namespace {

constexpr double kKelvin = 273.15;
// Readings are written with one decimal: a difference from the set-point that prints as the
// band lies within it.
constexpr double kBandSlack = 1e-9;

// The index of the last point at or before t, or -1.
std::ptrdiff_t LastAtOrBefore(const TLineSeries& series, TDateTime t) {
  const auto it = std::upper_bound(series.begin(), series.end(), t,
                                   [](TDateTime x, const TChartPoint& p) { return x < p.x; });
  return (it - series.begin()) - 1;
}

}  // namespace

TPeriod PresetPeriod(TDateTime first, TDateTime last, TPeriodPreset preset) {
  const double days = preset == TPeriodPreset::Last24Hours  ? 1
                      : preset == TPeriodPreset::Last7Days  ? 7
                      : preset == TPeriodPreset::Last30Days ? 30
                                                            : 0;
  if (days == 0) return {first, last};
  return {std::max(first, last - days), last};
}

TDateTime TStateStats::Total() const {
  TDateTime total = 0;
  for (const TStatePeriod& p : Periods)
    total += p.Duration;
  return total;
}

TReadingStats ComputeReadingStats(const TReadingLines& lines, TDateTime from, TDateTime to,
                                  TDateTime data_end, double band, bool kinetic) {
  TReadingStats stats;
  const TLineSeries& values = *lines.Values;
  const TLineSeries& set_points = *lines.SetPoints;
  if (values.Empty() || !(to >= from)) return stats;
  const TDateTime end = std::min(to, std::isnan(data_end) ? values.Last().x : data_end);
  std::ptrdiff_t i = LastAtOrBefore(values, from);
  std::ptrdiff_t j = LastAtOrBefore(set_points, from);
  const auto value_count = static_cast<std::ptrdiff_t>(values.Count());
  const auto sp_count = static_cast<std::ptrdiff_t>(set_points.Count());

  double weight = 0;
  double shift = kNoValue;
  double sum = 0;
  double sum_squares = 0;
  double kinetic_sum = 0;
  bool in_excursion = false;
  TExcursion excursion;
  double excursion_distance = 0;
  auto end_excursion = [&](TDateTime at) {
    if (!in_excursion) return;
    excursion.Duration = at - excursion.Start;
    stats.Excursions.push_back(excursion);
    in_excursion = false;
  };

  TDateTime t = from;
  while (t <= end) {
    const double v = i >= 0 ? values[static_cast<std::size_t>(i)].y : kNoValue;
    const double sp = j >= 0 ? set_points[static_cast<std::size_t>(j)].y : kNoValue;
    const TDateTime next_value =
        i + 1 < value_count ? values[static_cast<std::size_t>(i + 1)].x : end;
    const TDateTime next_sp =
        j + 1 < sp_count ? set_points[static_cast<std::size_t>(j + 1)].x : end;
    const TDateTime next = std::min({next_value, next_sp, end});
    const TDateTime w = next - t;
    // A reading counts for min and max from the moment it stands inside the period, even one
    // that a later point replaces at once.
    if (!std::isnan(v) && (w > 0 || (i >= 0 && values[static_cast<std::size_t>(i)].x >= from))) {
      if (!stats.HasData || v < stats.Minimum) {
        stats.Minimum = v;
        stats.MinimumAt = t;
      }
      if (!stats.HasData || v > stats.Maximum) {
        stats.Maximum = v;
        stats.MaximumAt = t;
      }
      stats.HasData = true;
    }
    if (!std::isnan(v) && w > 0) {
      if (std::isnan(shift)) shift = v;
      weight += w;
      sum += w * (v - shift);
      sum_squares += w * (v - shift) * (v - shift);
      if (kinetic) kinetic_sum += w * std::exp(-kMeanKineticActivation / (v + kKelvin));
    }
    if (w > 0) {
      if (!std::isnan(v) && !std::isnan(sp)) {
        stats.Judged += w;
        const double distance = std::fabs(v - sp);
        if (distance <= band + kBandSlack) {
          stats.InBand += w;
          end_excursion(t);
        } else {
          if (!in_excursion) {
            in_excursion = true;
            excursion = {t, 0, v};
            excursion_distance = distance;
          } else if (distance > excursion_distance) {
            excursion.Extreme = v;
            excursion_distance = distance;
          }
        }
      } else {
        end_excursion(t);
      }
    }
    if (next >= end) {
      end_excursion(end);
      break;
    }
    // Step past every point at `next` (several may share a time stamp).
    while (i + 1 < value_count && values[static_cast<std::size_t>(i + 1)].x <= next)
      ++i;
    while (j + 1 < sp_count && set_points[static_cast<std::size_t>(j + 1)].x <= next)
      ++j;
    t = next;
  }
  stats.Covered = weight;
  if (weight > 0) {
    const double mean = sum / weight;
    stats.Mean = shift + mean;
    stats.StandardDeviation = std::sqrt(std::max(0.0, sum_squares / weight - mean * mean));
    if (kinetic) {
      stats.MeanKinetic = kMeanKineticActivation / -std::log(kinetic_sum / weight) - kKelvin;
    }
  }
  if (stats.Judged > 0) stats.InBandShare = stats.InBand / stats.Judged;
  return stats;
}

TPeriodStats ComputePeriodStats(const TStoredLog& log, TDateTime from, TDateTime to,
                                const TAlarmBand& band) {
  const TReadingLines lines[3] = {{&log.Left.Values, &log.Left.SetPoints},
                                  {&log.Right.Values, &log.Right.SetPoints},
                                  {&log.Gas.Values, &log.Gas.SetPoints}};
  return ComputePeriodStats(log, lines, from, to, band);
}

TPeriodStats ComputePeriodStats(const TStoredLog& log, const TReadingLines (&lines)[3],
                                TDateTime from, TDateTime to, const TAlarmBand& band) {
  TPeriodStats stats;
  stats.From = from;
  stats.To = to;
  stats.Left = ComputeReadingStats(lines[0], from, to, log.LastTime, band.Temperature, true);
  stats.Right = ComputeReadingStats(lines[1], from, to, log.LastTime, band.Temperature, true);
  stats.Gas = ComputeReadingStats(lines[2], from, to, log.LastTime, band.Flow, false);

  const TDateTime data_end = std::isnan(log.LastTime) ? to : std::min(to, log.LastTime);
  auto add = [&](TStateStats& into, TDateTime start, TDateTime stop) {
    const TDateTime a = std::max(start, from);
    const TDateTime b = std::min(stop, data_end);
    // A state that ended right where the period begins is not in it.
    // (Within half a millisecond: time stamps are whole seconds, sums of days are not.)
    constexpr TDateTime kSlack = 0.5 / kMsPerDay;
    if ((stop <= from + kSlack && start < from) || start > to || b < a) return;
    into.Periods.push_back({a, b - a});
  };

  // A state lasts until the next state of its side, or until the link ends (at the start of
  // the gap that follows), or until the end of the data.
  struct TTracker {
    TStateStats* Into;
    TTileSide Side;
    TTileEventKind Kind;
    bool Open = false;
    TDateTime Since = 0;
  };
  TTracker trackers[] = {
      {&stats.LeftLid, TTileSide::Left, TTileEventKind::LidOpen},
      {&stats.RightLid, TTileSide::Right, TTileEventKind::LidOpen},
      {&stats.Purges, TTileSide::Gas, TTileEventKind::PurgeStart},
      {&stats.LeftTemperatureErrors, TTileSide::Left, TTileEventKind::TempError},
      {&stats.RightTemperatureErrors, TTileSide::Right, TTileEventKind::TempError},
      {&stats.CO2Errors, TTileSide::Gas, TTileEventKind::CO2Error},
      {&stats.FlowErrors, TTileSide::Gas, TTileEventKind::FlowError},
  };
  for (const TLogMark& mark : log.Marks) {
    const bool link = mark.Kind == TTileEventKind::LinkUp || mark.Kind == TTileEventKind::LinkDown;
    if (!link && (mark.Kind == TTileEventKind::SetPointAdjusted)) continue;
    TDateTime close_at = mark.Time;
    if (mark.Kind == TTileEventKind::LinkUp) {
      for (const TDataGap& gap : log.Gaps) {
        if (gap.End == mark.Time) close_at = gap.Start;
      }
    }
    for (TTracker& tr : trackers) {
      if (!link && mark.Side != tr.Side) continue;
      if (!link && mark.Kind == tr.Kind) {
        if (!tr.Open) {
          tr.Open = true;
          tr.Since = mark.Time;
        }
        continue;
      }
      if (tr.Open) {
        add(*tr.Into, tr.Since, close_at);
        tr.Open = false;
      }
    }
  }
  for (TTracker& tr : trackers) {
    if (tr.Open) add(*tr.Into, tr.Since, data_end);
  }
  for (const TDataGap& gap : log.Gaps)
    add(stats.Gaps, gap.Start, gap.End);
  return stats;
}

}  // namespace dova
