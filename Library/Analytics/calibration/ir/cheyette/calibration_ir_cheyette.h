#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "Analytics/calibration/common/parameter_bounds.h"
#include "Analytics/calibration/ir/cheyette/calibration_ir_cheyette_swaption.h"
#include "Analytics/models/model_cheyette.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/settings/calibration_cheyette_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Core/pointers.h"
#include "Market/discount_curve.h"
#include "Market/ir_volatility_surface.h"
#include "Util/datetime.h"
#include "Util/day_count_convention.h"
#include "Vectorization/vector.h"

namespace qavrek {

// Calibrates a one-factor Cheyette parameter set to caplet and coterminal swaption volatilities by
// Levenberg-Marquardt.
//
// Targets, in this order, each taking the next strike row of the configuration (strikes as multiples of
// the swap rate): one caplet per expiry, `frequency` long; then one coterminal swaption per expiry that
// starts before the common end valuation date + coterminal. Every target is a payer.
//
// `calibrate` reads every strike's market volatility and weighs it 1, or 0 when it repeats the previous
// strike's to a relative 1e-4 (a flat quote adds no information on the skew). Each target with more than one
// weighted strike gives a starting skew, 2 (v_first - v_last) / (v_first (K_first - K_last)); they become
// the skews of the first volatility dates of the caller's HJM set, one each, at the long-term level -5.
// The unknowns are the HJM decays, the HJM volatilities and the skews, each through the bounded map of
// parameter_bounds; the residuals are 10000 weight (market - model) per strike.
//
// Without smile information (at-the-money quotes only, or flat smiles: no target with two weighted strikes)
// the skew starts at zero and stays there: the set has one zero skew, dated the first volatility date, which
// is none of the unknowns (the skew bounds need not hold 0), and the HJM decays and volatilities fit the
// targets as the Gaussian model.
//
// The Cheyette set shares the caller's HJM set: its decays and volatilities are written in place, so the
// caller's set holds the calibrated values when calibrate returns (and no other thread may use it, or a
// model on it, meanwhile). Everything runs on the calling thread.
class calibration_ir_cheyette {
 public:
  // The targets configuration must hold a strike row for every target built.
  calibration_ir_cheyette(const datetime& valuation_date, const ptr_const<discount_curve>& curve,
                          const ptr_const<calibration_ir_targets_configuration>& targets_config,
                          const ptr_const<day_count_convention>& convention);
  ~calibration_ir_cheyette();

  const std::vector<ptr_const<calibration_ir_cheyette_swaption>>& swaptions() const noexcept { return swaptions_; }

  // Refused before optimising: no weighted strike to fit, more starting skews than HJM volatility dates,
  // bounds that are not two different finite numbers, and a target expiry that is not an HJM volatility date
  // (where the model has no variance). Returns the set at the optimiser's final point; when the optimiser
  // ran out of iterations or damping before converging, a warning on the log says so.
  ptr_const<parameter_cheyette> calibrate(const ptr_const<ir_volatility_surface>& volatility_surface,
                                          const ptr_const<calibration_cheyette_settings>& settings,
                                          const ptr_const<parameter_markovian_hjm>& parameter_hjm) const;

 private:
  friend struct calibration_ir_cheyette_access;

  using bounds = parameter_bounds;

  // What the residual callback works on during one calibration.
  class problem {
   public:
    problem(const calibration_ir_cheyette& driver, const ptr_const<ir_volatility_surface>& volatility_surface,
            const ptr_const<calibration_cheyette_settings>& settings,
            const ptr_const<parameter_markovian_hjm>& parameter_hjm);

    size_t number_of_unknowns() const noexcept { return number_of_unknowns_; }
    size_t number_of_residuals() const noexcept { return number_of_residuals_; }

    vector<double> initial_unknowns() const;
    // Writes the unknowns into the parameter set and refreshes the model.
    void set_unknowns(const vector<double>& x);
    void residuals(const vector<double>& x, vector<double>& residuals);

    const std::shared_ptr<parameter_cheyette>& parameter() const noexcept { return parameter_; }
    const std::vector<std::vector<double>>& market_volatilities() const noexcept { return market_; }
    const std::vector<std::vector<double>>& model_volatilities() const noexcept { return model_volatilities_; }
    const std::vector<std::vector<double>>& weights() const noexcept { return weights_; }
    const std::vector<size_t>& offsets() const noexcept { return offsets_; }
    const std::vector<double>& starting_skews() const noexcept { return starting_skews_; }

   private:
    const calibration_ir_cheyette& driver_;
    bounds decay_bounds_;
    bounds volatility_bounds_;
    bounds skew_bounds_;
    std::vector<std::vector<double>> market_;
    std::vector<std::vector<double>> model_volatilities_;
    std::vector<std::vector<double>> weights_;
    std::vector<size_t> offsets_;
    std::vector<double> starting_skews_;
    // Whether the skews are unknowns: there are starting skews.
    bool calibrates_skews_ = true;
    std::shared_ptr<parameter_cheyette> parameter_;
    std::shared_ptr<model_cheyette> model_;
    size_t number_of_unknowns_ = 0;
    size_t number_of_residuals_ = 0;
  };

  // The unknowns from the parameter values, and back: the HJM decays, the HJM volatilities and, with_skews,
  // the skews in storage order, each through its bounds.
  static void map_to_R(vector<double>& x, const parameter_cheyette& parameter, const bounds& decay_bounds,
                       const bounds& volatility_bounds, const bounds& skew_bounds, bool with_skews = true);
  static void map_from_R(const vector<double>& x, const parameter_cheyette& parameter, const bounds& decay_bounds,
                         const bounds& volatility_bounds, const bounds& skew_bounds, bool with_skews = true);
  static size_t number_of_unknowns(const parameter_cheyette& parameter, bool with_skews = true);

  datetime valuation_date_;
  ptr_const<day_count_convention> convention_;
  std::vector<ptr_const<calibration_ir_cheyette_swaption>> swaptions_;
};

}  // namespace qavrek
