#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "Random/brownian_bridge.h"
#include "Random/random.h"
#include "Random/random_settings.h"
#include "Random/sobol_sequence.h"

namespace qavrek {

// Sobol numbers laid out as the Monte Carlo engine reads them. With P paths per batch, D simulation dates and
// B Brownian motions, the stream is a sequence of batches of D x B x P numbers; in batch b the number at
// (t x B + k) x P + p belongs to date t, factor k and path p, and comes from Sobol point b x P + p + 1 (the
// zero point is skipped), so batch b holds exactly paths bP .. bP + P - 1 of one long run.
//
// A path is one Sobol point of D x B dimensions. Date 0 is the start of the simulation, where nothing is
// drawn, so its block takes the last B dimensions; dates 1 .. D - 1 take the first ones:
// - plain: date t >= 1, factor k reads dimension (t - 1) x B + k;
// - bridged: factor k follows a Brownian bridge over the D - 1 steps, the normal of bridge rank j coming from
//   dimension j x B + k, so the first B dimensions give the terminal values and the next ones the midpoints,
//   level by level; dates 1 .. D - 1 receive the standard normal increments. uniforms gives, at each date,
//   the coordinate that places that date's value.
//
// Uniforms are x 2^-32 of the 32-bit coordinate x, in [2^-32, 1 - 2^-32] because only the zero point has a
// zero coordinate; with a digital shift, (x ^ s + 1/2) 2^-32 since x ^ s may be zero. A Gaussian is the
// inverse normal cdf of the uniform. Moving to any point costs 32 XORs per dimension.
class sobol_generator final : public random {
 public:
  // shift holds one word per dimension, or nothing for the unshifted sequence.
  sobol_generator(const random_settings& settings, bool brownian_bridge, std::vector<std::uint32_t> shift);

  // The dimension of a path, number_of_simulation_dates x number_of_brownians, once the settings are
  // checked to give a non-empty batch within the direction table.
  static size_t dimension(const random_settings& settings);

  void uniforms(double* output, size_t size, size_t discard_count) override;
  void discard(size_t discard_count) override;
  void gaussians(double* output, size_t size, size_t discard_count) override;

 private:
  enum class kind { uniform, gaussian };

  void draw(double* output, size_t size, size_t discard_count, kind what);
  // Numbers first .. last - 1 of batch b, written from output onwards.
  void write_segment(double* output, std::uint64_t batch, size_t first, size_t last, kind what);
  void move_to_path(std::uint64_t path);
  double uniform(size_t dimension) const noexcept;
  void bridge_current_path();

  size_t paths_, dates_, brownians_, rows_, batch_size_;
  std::vector<std::uint32_t> shift_;
  std::vector<size_t> row_dimension_;  // the dimension that row t x B + k reads (for the bridge: its rank)
  std::optional<brownian_bridge> bridge_;
  sobol_sequence sequence_;
  std::vector<double> normals_, values_;  // one path: normals by dimension, bridged values by row
  std::uint64_t position_ = 0;
};

}  // namespace qavrek
