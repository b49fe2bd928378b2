#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
// inverse normal cdf of the uniform.
//
// The numbers are made a row at a time: each dimension runs its own Gray-code recurrence over the paths asked
// for, after a jump of 32 XORs to the first of them, so the cost follows what is asked and the output is
// written in order. The bridged increments of a date come from W at that date and the one before, over the
// paths asked for; the values W at the dates still ahead are kept (about log2 D rows per factor), so a walk
// through the dates in order places each value once.
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

  // Moves the read position to number `position` of the stream, back or forth: a number depends on its
  // position alone. Refused, moving nothing, where no point of the sequence is left.
  void seek(std::uint64_t position);

 private:
  enum class kind { uniform, gaussian };
  static constexpr size_t no_slot = static_cast<size_t>(-1);

  void draw(double* output, size_t size, size_t discard_count, kind what);
  // Whether the number at a stream position comes from a point of the sequence.
  bool has_point(std::uint64_t position) const;
  // Numbers first .. last - 1 of batch b, written from output onwards.
  void write_segment(double* output, std::uint64_t batch, size_t first, size_t last, kind what);
  // The numbers of one dimension for `count` paths of a batch from path `first_path` on.
  void write_dimension(double* output, std::uint64_t batch, size_t dimension, size_t first_path, size_t count,
                       kind what);
  // The bridged increments of one factor at date t >= 1 for `count` paths from `first_path` on.
  void write_increments(double* output, std::uint64_t batch, size_t date, size_t factor, size_t first_path,
                        size_t count);
  // The slot that holds W of every factor at grid date t on the paths of the bridge's rows, placed first if
  // need be (and its brackets before it).
  size_t bridged_slot(size_t date);

  size_t paths_, dates_, brownians_, rows_, batch_size_;
  std::vector<std::uint32_t> shift_;
  std::vector<size_t> row_dimension_;  // the dimension that row t x B + k reads (for the bridge: its rank)
  std::optional<brownian_bridge> bridge_;
  sobol_sequence sequence_;
  std::uint64_t position_ = 0;
  std::vector<std::uint32_t> words_;  // a chunk of coordinates

  // The bridge's rows: W at some dates for paths first_path_ .. first_path_ + width_ - 1 of batch batch_,
  // B rows of width_ per slot.
  std::vector<size_t> rank_of_date_;
  std::uint64_t bridge_batch_ = 0;
  size_t bridge_first_path_ = 0, bridge_width_ = 0;
  std::vector<size_t> slot_of_date_;
  // Values that are always written before they are read: growing them fills nothing.
  struct unfilled {
    std::unique_ptr<double[]> values;
    size_t size = 0;
    double* at_least(size_t count) {
      if (size < count) {
        values = std::make_unique_for_overwrite<double[]>(count);
        size = count;
      }
      return values.get();
    }
  };
  std::vector<unfilled> slots_;
  std::vector<size_t> free_slots_;
  unfilled normals_;
};

}  // namespace qavrek
