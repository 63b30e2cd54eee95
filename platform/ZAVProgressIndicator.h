#pragma once

class QProgressBar;

// A progress bar takes whole numbers; the installer reports percentages as doubles, which may
// be negative (no length announced), infinite or NaN (a length of zero). The exact value is
// kept on the bar (doubleValue) and the bar shows it within its range: NaN as the minimum,
// anything beyond the range at its end. Main thread.
void ZAVProgressSetDoubleValue(QProgressBar *bar, double value);
double ZAVProgressDoubleValue(const QProgressBar *bar);
