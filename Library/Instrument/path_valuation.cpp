#include "Instrument/path_valuation.h"

#include <algorithm>
#include <cmath>

#include "Core/check.h"
#include "Core/interruption.h"
#include "Core/logger.h"

namespace qavrek {

void path_discount_factors(matrix<double>& dfs, const discount_curve& curve, const datetime& from,
                           const std::vector<datetime>& dates, size_t paths) {
  if (dfs.rows() != dates.size() || dfs.columns() != paths) {
    QAVREK_CHECK(dfs.owner(), "dfs is a ", dfs.rows(), " x ", dfs.columns(), " view, not ", dates.size(), " x ", paths);
    dfs.resize(dates.size(), paths);
  }
  for (size_t i = 0; i < dates.size(); ++i) {
    vector<double> row = dfs.row(i);
    if (dates[i] == from) {
      row.fill(1.0);
      continue;
    }
    curve.log_df(row, from, dates[i]);
    for (double& value : row) value = std::exp(value);
    interruption::point();
  }
}

void discount_paths(matrix<double>& dfs, const vector<double>& numeraire, const std::vector<double>* market_dfs) {
  const size_t paths = dfs.columns();
  QAVREK_CHECK(numeraire.size() == paths, "numeraire has ", numeraire.size(), " paths, discount factors ", paths);
  QAVREK_CHECK(market_dfs == nullptr || market_dfs->size() == dfs.rows(), "market discount factors have ",
               market_dfs == nullptr ? 0 : market_dfs->size(), " dates, paths ", dfs.rows());
  for (size_t i = 0; i < dfs.rows(); ++i) {
    double* row = dfs[i];
    double sum = 0.0;
    for (size_t j = 0; j < paths; ++j) {
      row[j] *= numeraire[j];
      sum += row[j];
    }
    if (market_dfs == nullptr) continue;
    const double mean = sum / static_cast<double>(paths);
    QAVREK_CHECK(std::isfinite(mean) && mean > 0.0, "the mean simulated discount factor ", mean, " of date ", i,
                 " cannot be matched to the market's");
    const double scale = (*market_dfs)[i] / mean;
    for (size_t j = 0; j < paths; ++j) row[j] *= scale;
  }
}

void log_simulated_value(const char* instrument, double strike, const path_sample& sample) {
  logger::LogF(0, __FILE__, __LINE__, "%s simulated_value: strike %.8g value %.10g standard error %.4g", instrument,
               strike, sample.mean(), sample.standard_error());
}

}  // namespace qavrek
