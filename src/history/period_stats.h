#pragma once

#include <vector>

#include "history/stored_log.h"
#include "platform/datetime.h"

namespace dova {

// How far a reading may stray from its set-point before it counts as out of band: the
// alarm settings of the incubator when there are any, these otherwise.
struct TAlarmBand {
  double Temperature = 0.5;  // °C either side
  double Flow = 5.0;         // ml/min either side
};

// One run of out-of-band readings: when it began, how long it lasted (days) and the value
// that lay furthest from its set-point.
struct TExcursion {
  TDateTime Start = 0;
  TDateTime Duration = 0;
  double Extreme = 0;
};

// The statistics of one reading over a period. A reading holds from its time stamp until the
// next one (or the end of the data, or a gap), and every figure weighs it by that interval.
struct TReadingStats {
  bool HasData = false;
  double Minimum = kNoValue;
  TDateTime MinimumAt = kNoValue;  // first reached
  double Maximum = kNoValue;
  TDateTime MaximumAt = kNoValue;
  double Mean = kNoValue;
  double StandardDeviation = kNoValue;
  // Mean kinetic temperature (temperatures only): activation energy 83.144 kJ/mol.
  double MeanKinetic = kNoValue;
  TDateTime Covered = 0;  // days with a value
  TDateTime Judged = 0;   // days with a value and a set-point
  TDateTime InBand = 0;   // of those, days within the band
  double InBandShare = kNoValue;
  std::vector<TExcursion> Excursions;
};

// Periods of one state (a lid open, a purge, an error, a gap in the data), clipped to the
// period asked for.
struct TStatePeriod {
  TDateTime Start = 0;
  TDateTime Duration = 0;
};
struct TStateStats {
  std::vector<TStatePeriod> Periods;
  int Count() const { return static_cast<int>(Periods.size()); }
  TDateTime Total() const;
};

struct TPeriodStats {
  TDateTime From = 0;
  TDateTime To = 0;
  TReadingStats Left;
  TReadingStats Right;
  TReadingStats Gas;
  TStateStats LeftLid;
  TStateStats RightLid;
  TStateStats Purges;
  TStateStats LeftTemperatureErrors;
  TStateStats RightTemperatureErrors;
  TStateStats CO2Errors;
  TStateStats FlowErrors;
  TStateStats Gaps;
};

// The periods the viewer offers, counted back from the end of the log (its last line), not
// from today: an old file still shows its last day.
enum class TPeriodPreset { WholeFile, Last24Hours, Last7Days, Last30Days };
struct TPeriod {
  TDateTime From = 0;
  TDateTime To = 0;
};
TPeriod PresetPeriod(TDateTime first, TDateTime last, TPeriodPreset preset);

// ΔH/R of the mean kinetic temperature: 83.144 kJ/mol over 8.3144 J/(mol K).
inline constexpr double kMeanKineticActivation = 10000.0;

// The lines of one reading: where the log's own charts are, or the windows that took them.
struct TReadingLines {
  const TLineSeries* Values = nullptr;
  const TLineSeries* SetPoints = nullptr;
};

TPeriodStats ComputePeriodStats(const TStoredLog& log, TDateTime from, TDateTime to,
                                const TAlarmBand& band = {});
// The same with the lines of the left, right and gas readings given apart (the log's marks
// and gaps are read from `log`).
TPeriodStats ComputePeriodStats(const TStoredLog& log, const TReadingLines (&lines)[3],
                                TDateTime from, TDateTime to, const TAlarmBand& band);

// The statistics of one reading; the data end at `data_end` (the log's last line), where the
// newest reading stops holding.
TReadingStats ComputeReadingStats(const TReadingLines& lines, TDateTime from, TDateTime to,
                                  TDateTime data_end, double band, bool kinetic);

}  // namespace dova
