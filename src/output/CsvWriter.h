#pragma once

#include <QByteArray>

struct Measurement;

// Results as comma-separated values, quoted as RFC 4180 says, so that spreadsheets and
// Python's csv module read back every name whole, commas, quotes and line breaks included.
namespace CsvWriter {

// withFit adds the fitted line's columns after the others, empty where no line was found.
QByteArray header(bool withFit = false);
QByteArray row(const Measurement& measurement, bool withFit = false);

}
