#pragma once

#include <QByteArray>

struct Measurement;

// Results as comma-separated values, quoted as RFC 4180 says, so that spreadsheets and
// Python's csv module read back every name whole, commas, quotes and line breaks included.
namespace CsvWriter {

QByteArray header();
QByteArray row(const Measurement& measurement);

}
