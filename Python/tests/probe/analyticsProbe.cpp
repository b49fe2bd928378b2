#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette.h"
#include "Analytics/models/model_markovian_hjm.h"
#include "AnalyticsPython/analytics_names.h"
#include "Core/interruption.h"
#include "Frame/wrapped_class.h"
#include "InstrumentPython/instrument_names.h"
#include "Market/life_cycle_data.h"
#include "MarketPython/market_names.h"
#include "Runtime/py_reference.h"
#include "Runtime/qavrekPythonArgs.h"
#include "UtilPython/util_names.h"
#include "cheyette_target_volatilities.h"
#include "pde_manager_test_support.h"

// What a native caller of the analytics library does and Python cannot: build a PDE manager (Python
// holds one only as a copy), run the credit level calibration (whose driver Python only builds) and price
// the Cheyette calibration's targets (which have no Python type).
namespace qavrek::probe {

// A life-cycle entry that a run writes at the end of every step: the serial dates of the steps' ends in the
// order the run reaches them, 0 in the slots not reached yet.
class probe_step_record final : public life_cycle_data {
 public:
  explicit probe_step_record(size_t slots) : dates_(slots, 0.0) {}
  probe_step_record(const probe_step_record&) = default;
  probe_step_record& operator=(const probe_step_record&) = default;
  ~probe_step_record() override = default;

  void record(const datetime& date) {
    if (reached_ < dates_.size()) dates_[reached_++] = date.serial();
  }
  const std::vector<double>& dates() const noexcept { return dates_; }

 private:
  std::vector<double> dates_;
  size_t reached_ = 0;
};

// Pays 1 at every node at the maturity and records each step's end into its life-cycle entry.
class probe_recording_bond final : public instrument {
 public:
  probe_recording_bond(const datetime& maturity, size_t nodes) : maturity_(maturity), nodes_(nodes) {}

  void value(const datetime& date, const std::vector<ptr_const<market_data>>&, tensor<double>& output) const override {
    if (date == maturity_) std::fill(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(nodes_), 1.0);
  }
  void value_american_events(const datetime& date, const std::vector<ptr_const<market_data>>&, life_cycle_data* life,
                             tensor<double>&) const override {
    if (auto* record = dynamic_cast<probe_step_record*>(life)) record->record(date);
  }
  size_t size() const override { return 1; }

 private:
  datetime maturity_;
  size_t nodes_;
};

// A zero-coupon bond rolled back under a one-factor HJM model: its coefficients on 201 points over six
// standard deviations of the state at the maturity, weekly then (by default) monthly steps, and the
// market's discount at a flat rate between grid dates. The value at the centre node is the market's P(0, T).
class probe_pde_pricing {
 public:
  probe_pde_pricing(const datetime& valuation_date, const datetime& maturity,
                    const ptr_const<parameter_markovian_hjm>& parameter, double market_rate, double step_days)
      : maturity_(maturity),
        parameter_(parameter),
        market_rate_(market_rate),
        grid_(pde_test::backward_grid(time_grid_config::time_grid_type::STEPPED, step_days, 10, 7.0, valuation_date,
                                      {maturity})),
        model_(std::make_shared<const model_markovian_hjm>(*parameter, valuation_date, grid_->dates(), false)) {
    matrix<double> covariance;
    model_->states_variable_covariance(maturity, covariance);
    const int half = 100;
    grids_.push_back(pde_test::steps_of(6.0 * std::sqrt(covariance(0, 0)) / half, half, half));
  }

  ptr_const<pde_manager> manager() const {
    return std::make_shared<const pde_manager>(
        std::vector<ptr_const<diffusion>>{pde_test::pde_diffusion(grid_->dates(), model_, grids_)}, grid_,
        std::vector<size_t>{grids_[0]->size() / 2}, grids_, std::vector<size_t>{3}, std::vector<bool>{false},
        pde_scheme_type::TWO_STAGE_IMPLICIT, true, parameter_->correlation());
  }

  // Pays 1 at every node at the maturity.
  ptr_const<instrument> unit_bond() const {
    const size_t nodes = grids_[0]->size();
    return std::make_shared<const pde_test::grid_instrument>(
        1, pde_test::pay_at(maturity_, [nodes] { return std::vector<double>(nodes, 1.0); }));
  }

  // A unit bond that records each step's end into its life-cycle entry (a probe_step_record).
  ptr_const<instrument> recording_bond() const {
    return std::make_shared<const probe_recording_bond>(maturity_, grids_[0]->size());
  }

  // The market's discount from each grid date's predecessor, at the date's index (1 at the first).
  std::vector<double> discount_factors() const {
    std::vector<double> factors(grid_->size(), 1.0);
    for (size_t k = 1; k < grid_->size(); ++k)
      factors[k] = std::exp(-market_rate_ * (grid_->date(k).serial() - grid_->date(k - 1).serial()) / 365.0);
    return factors;
  }

 private:
  datetime maturity_;
  ptr_const<parameter_markovian_hjm> parameter_;
  double market_rate_;
  ptr_const<time_grid> grid_;
  ptr_const<model_markovian_hjm> model_;
  std::vector<ptr_const<space_grid>> grids_;
};

// Reads a market-data view in a long call for a while, as an instrument's simulated value does;
// stop_reads() ends the reads under way. The reads of every reader are counted, so that a test sees one
// under way.
class probe_view_reader {
 public:
  size_t read(const ptr_const<market_data>& view, double seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const size_t stops = stops_.load();
    size_t reads = 0;
    while (std::chrono::steady_clock::now() < end && stops_.load() == stops && view->valuation_date().is_valid()) {
      ++reads;
      reads_taken_.fetch_add(1, std::memory_order_relaxed);
      interruption::point();
    }
    return reads;
  }

  static size_t reads_taken() noexcept { return reads_taken_.load(std::memory_order_relaxed); }
  static void stop_reads() noexcept { stops_.fetch_add(1); }
  // An operation that takes a view to change it (and changes nothing).
  static void write(market_data&) noexcept {}

 private:
  static inline std::atomic<size_t> reads_taken_{0};
  static inline std::atomic<size_t> stops_{0};
};

class probe_credit_calibration {
 public:
  // Calibrates a copy of the starting levels and saves it as JSON; the starting set is left alone.
  static void calibrate_to_json(const calibration_credit_black_karasinski& driver,
                                const ptr_const<parameter_black_karasinski>& start, const std::string& file_name) {
    const auto calibrated = std::make_shared<parameter_black_karasinski>(*start);
    driver.calibrate_level(*calibrated);
    parameter_black_karasinski::write_to_json(file_name, calibrated);
  }
};

// The targets of a Cheyette calibration on these arguments: their dates, their strikes and the
// volatilities a known parameter set gives them, as a driver of the same arguments reads and prices them.
class probe_cheyette_targets {
 public:
  probe_cheyette_targets(const datetime& valuation_date, const ptr_const<discount_curve>& curve,
                         const ptr_const<calibration_ir_targets_configuration>& targets_config,
                         const ptr_const<day_count_convention>& convention)
      : valuation_date_(valuation_date), driver_(valuation_date, curve, targets_config, convention) {}

  std::vector<datetime> expiries() const {
    std::vector<datetime> out;
    for (const auto& target : driver_.swaptions()) out.push_back(target->expiry());
    return out;
  }

  std::vector<datetime> maturities() const {
    std::vector<datetime> out;
    for (const auto& target : driver_.swaptions()) out.push_back(target->swaptions()->swap()->maturity());
    return out;
  }

  // Absolute strikes, a tuple per target.
  python::py_reference strikes() const {
    std::vector<std::vector<double>> rows;
    for (const auto& target : driver_.swaptions()) rows.push_back(target->swaptions()->strikes());
    return nested(rows);
  }

  // Black volatilities, a tuple per target with one per strike.
  python::py_reference volatilities(const ptr_const<parameter_cheyette>& parameter) const {
    return nested(cheyette_test::target_volatilities(driver_, parameter, valuation_date_));
  }

 private:
  static python::py_reference nested(const std::vector<std::vector<double>>& rows) {
    auto out = python::py_reference::steal(PyTuple_New(static_cast<Py_ssize_t>(rows.size())));
    if (!out) return out;
    for (size_t i = 0; i < rows.size(); ++i) {
      PyObject* row = python::qavrekPythonArgs::BuildTuple(rows[i].data(), rows[i].size());
      if (row == nullptr) return python::py_reference();
      PyTuple_SET_ITEM(out.get(), static_cast<Py_ssize_t>(i), row);
    }
    return out;
  }

  datetime valuation_date_;
  calibration_ir_cheyette driver_;
};

}  // namespace qavrek::probe

namespace qavrek::python {

template <>
inline constexpr const char* python_name<probe::probe_pde_pricing> = "probePdePricing";
template <>
inline constexpr const char* python_name<probe::probe_step_record> = "probeStepRecord";
template <>
inline constexpr const char* python_name<probe::probe_view_reader> = "probeViewReader";
template <>
inline constexpr const char* python_name<probe::probe_credit_calibration> = "probeCreditCalibration";
template <>
inline constexpr const char* python_name<probe::probe_cheyette_targets> = "probeCheyetteTargets";

namespace {

using probe::probe_cheyette_targets;
using probe::probe_credit_calibration;
using probe::probe_pde_pricing;
using probe::probe_step_record;
using probe::probe_view_reader;

constexpr const char* path = "analyticsProbe.";

// Monthly steps after the first ten weeks.
std::tuple<double> monthly_steps() { return {30.0}; }

struct pde_pricing_binding {
  using type = probe_pde_pricing;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_pde_pricing";
  static constexpr const char* doc =
      "probe_pde_pricing(valuation_date:datetime, maturity:datetime, parameter:parameterMarkovianHjm,\n"
      "    market_rate:float, step_days:float=30.0)\n\n";
  using constructors = overloads<
      constructor_with_defaults<"@WWWd|d datetime datetime parameterMarkovianHjm", probe_pde_pricing, &monthly_steps,
                                const datetime&, const datetime&, const ptr_const<parameter_markovian_hjm>&, double,
                                double>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_pde_pricing>::method<"manager", &probe_pde_pricing::manager>(""),
      methods_of<probe_pde_pricing>::method<"unit_bond", &probe_pde_pricing::unit_bond>(""),
      methods_of<probe_pde_pricing>::method<"recording_bond", &probe_pde_pricing::recording_bond>(""),
      methods_of<probe_pde_pricing>::method<"discount_factors", &probe_pde_pricing::discount_factors>(""),
      methods_of<probe_pde_pricing>::end(),
  };
};

struct step_record_binding {
  using type = probe_step_record;
  using base = life_cycle_data;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_step_record";
  static constexpr const char* doc = "probe_step_record(slots:int)\n\n";
  using constructors = overloads<constructor<"@i", probe_step_record, size_t>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_step_record>::method<"dates", &probe_step_record::dates>(""),
      methods_of<probe_step_record>::end(),
  };
};

struct view_reader_binding {
  using type = probe_view_reader;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_view_reader";
  static constexpr const char* doc = "probe_view_reader()\n\n";
  using constructors = overloads<constructor<"@", probe_view_reader>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_view_reader>::method<"read", &probe_view_reader::read, call_mode::long_running>(""),
      methods_of<probe_view_reader>::static_function<"reads_taken", &probe_view_reader::reads_taken>(""),
      methods_of<probe_view_reader>::static_function<"stop_reads", &probe_view_reader::stop_reads>(""),
      methods_of<probe_view_reader>::static_function<"write", &probe_view_reader::write>(""),
      methods_of<probe_view_reader>::end(),
  };
};

struct credit_calibration_binding {
  using type = probe_credit_calibration;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_credit_calibration";
  static constexpr const char* doc = "probe_credit_calibration - calibration functions\n\n";
  static inline PyMethodDef methods[] = {
      methods_of<probe_credit_calibration>::static_function<"calibrate_to_json",
                                                            &probe_credit_calibration::calibrate_to_json>(""),
      methods_of<probe_credit_calibration>::end(),
  };
};

struct cheyette_targets_binding {
  using type = probe_cheyette_targets;
  static constexpr const char* module_path = path;
  static constexpr const char* library_name = "probe_cheyette_targets";
  static constexpr const char* doc =
      "probe_cheyette_targets(valuation_date:datetime, curve:discountCurve,\n"
      "    targets_config:calibrationIrTargetsConfiguration, convention:dayCountConvention)\n\n";
  using constructors = overloads<
      constructor<"@WWWW datetime discountCurve calibrationIrTargetsConfiguration dayCountConvention",
                  probe_cheyette_targets, const datetime&, const ptr_const<discount_curve>&,
                  const ptr_const<calibration_ir_targets_configuration>&, const ptr_const<day_count_convention>&>>;
  static inline PyMethodDef methods[] = {
      methods_of<probe_cheyette_targets>::method<"expiries", &probe_cheyette_targets::expiries>(""),
      methods_of<probe_cheyette_targets>::method<"maturities", &probe_cheyette_targets::maturities>(""),
      methods_of<probe_cheyette_targets>::method<"strikes", &probe_cheyette_targets::strikes>(""),
      methods_of<probe_cheyette_targets>::method<"volatilities", &probe_cheyette_targets::volatilities>(""),
      methods_of<probe_cheyette_targets>::end(),
  };
};

}  // namespace
}  // namespace qavrek::python

namespace {

PyModuleDef probe_module = {
    PyModuleDef_HEAD_INIT, "analyticsProbe", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};

int add_pde_pricing(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::pde_pricing_binding>::AddFile(dict);
}
int add_step_record(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::step_record_binding>::AddFile(dict);
}
int add_view_reader(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::view_reader_binding>::AddFile(dict);
}
int add_credit_calibration(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::credit_calibration_binding>::AddFile(dict);
}
int add_cheyette_targets(PyObject* dict) {
  return qavrek::python::wrapped_class<qavrek::python::cheyette_targets_binding>::AddFile(dict);
}

}  // namespace

PyMODINIT_FUNC PyInit_analyticsProbe() {
  return qavrek::python::qavrekPythonUtil::InitializeModule(
      &probe_module, "analyticsProbe", {"qavrekmodules.Analytics"},
      {&add_pde_pricing, &add_step_record, &add_view_reader, &add_credit_calibration, &add_cheyette_targets});
}
