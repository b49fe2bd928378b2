#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include "Analytics/common/random_config.h"
#include "Core/pointers.h"
#include "Random/random.h"
#include "Vectorization/matrix.h"

namespace qavrek {

class sobol_generator;

// The correlated standard normal increments of one batch of Monte Carlo paths, one simulation date at a time.
//
// With P paths per batch, D simulation dates and B Brownian motions, the numbers come from one long stream of
// the configured generator: batch b occupies positions b D B P .. (b + 1) D B P - 1, and within it the block of
// date t starts at t B P and holds B rows (one per factor) of P numbers (one per path). Every date of every
// batch thus has numbers of its own. For the Sobol types a number's position fixes its Sobol point, so batch b
// also holds exactly paths bP .. (b + 1)P - 1 of one run over all batches.
//
// Up-front mode draws the whole batch (D x B x P numbers) at construction and may orthogonalise it; block 0
// (date 0, which no step consumes) then serves as the output area of correlate. One-date mode holds two
// B x P halves, reused from date to date: the numbers of the requested date and the correlated result. Both
// modes read the same stream positions, so for one configuration they return the same increments.
//
// The constructor never throws: whatever fails in it is kept and reported by correlate (and by
// number_of_paths when the configuration itself is unusable) as an Error with the reason.
//
// A batch reuses what the last batch on its thread left: the buffer and, for the Sobol types, a generator
// made for the same settings, so that the batches of a run allocate nothing after the first on each thread.
//
// Not for concurrent use: correlate writes into the buffer and, in one-date mode, advances the generator.
class random_manager {
 public:
  enum class drawing : std::int8_t {
    one_date,  // one date's numbers per request
    up_front,  // the whole batch at construction
  };

  // Up front when orthogonalisation is asked for, else date by date.
  explicit random_manager(const ptr_const<random_config>& config) noexcept;
  // Asks for a mode; one-date mode with orthogonalisation is a construction failure.
  random_manager(const ptr_const<random_config>& config, drawing mode) noexcept;
  ~random_manager();

  random_manager(const random_manager&) = delete;
  random_manager& operator=(const random_manager&) = delete;

  size_t number_of_paths() const;

  bool generate_upfront() const noexcept { return generate_upfront_; }

  // The correlated normals L z of simulation date time_index (1 <= time_index < D), B rows by P columns, as a
  // view into the manager's buffer that the next call overwrites. decomposed_correlation is the B x B lower
  // Cholesky factor L of the factor correlation. In one-date mode the dates may come in any order: a date
  // always gets the numbers of its own block.
  matrix<double> correlate(size_t time_index, const matrix<double>& decomposed_correlation) const;

 private:
  struct workspace;

  // The workspace that the last manager on this thread gave back, if any.
  static std::unique_ptr<workspace>& spare_workspace() noexcept;

  void construct(const drawing* requested_mode);
  // Numbers target .. target + count - 1 of the stream into output.
  void draw(size_t target, double* output, size_t count) const;
  void release_after_failure() noexcept;
  void orthogonalize(size_t rows, size_t paths);
  void check_constructed() const;
  // Fills the first half of the buffer with the uncorrelated numbers of date time_index.
  void draw_date(size_t time_index) const;

  ptr_const<random_config> config_;
  // Replaced when one-date mode has to read an earlier stream position.
  mutable ptr_mutable<random> generator_;
  // The generator again for the Sobol types, which move to any position.
  std::shared_ptr<sobol_generator> sobol_;
  bool generate_upfront_ = false;
  size_t buffer_size_ = 0;
  double* buffer_ = nullptr;  // held by the workspace
  size_t half_size_ = 0;
  // The stream position that the generator reads next.
  mutable size_t position_ = 0;
  std::unique_ptr<workspace> workspace_;
  std::exception_ptr construction_failure_;
};

}  // namespace qavrek
