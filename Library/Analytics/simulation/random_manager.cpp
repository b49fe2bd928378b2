#include "Analytics/simulation/random_manager.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "Core/check.h"
#include "Core/cpu_allocator.h"
#include "Core/interruption.h"
#include "Math/matrix_multiplication.h"
#include "Random/sobol_generator.h"

namespace qavrek {
namespace {

constexpr size_t no_position = std::numeric_limits<size_t>::max();

size_t checked_product(size_t a, size_t b, const char* what) {
  const bool fits = a == 0 || b <= std::numeric_limits<size_t>::max() / a;
  QAVREK_CHECK(fits, what, " (", a, " x ", b, ") does not fit in a size_t");
  return a * b;
}

// The path loops of the orthogonalisation keep `lanes` independent partial sums, so that the compiler can
// run them as vector lanes without reordering any single sum (no fast-math).
constexpr size_t lanes = 8;

double dot(const double* a, const double* b, size_t n) noexcept {
  double partial[lanes] = {};
  size_t i = 0;
  for (; i + lanes <= n; i += lanes)
    for (size_t l = 0; l < lanes; ++l) partial[l] += a[i + l] * b[i + l];
  double total = 0.0;
  for (size_t l = 0; l < lanes; ++l) total += partial[l];
  for (; i < n; ++i) total += a[i] * b[i];
  return total;
}

double sum(const double* a, size_t n) noexcept {
  double partial[lanes] = {};
  size_t i = 0;
  for (; i + lanes <= n; i += lanes)
    for (size_t l = 0; l < lanes; ++l) partial[l] += a[i + l];
  double total = 0.0;
  for (size_t l = 0; l < lanes; ++l) total += partial[l];
  for (; i < n; ++i) total += a[i];
  return total;
}

// Gaussians of a pseudo-random stream after `skip` numbers. The stream may be cut anywhere, so it comes in
// chunks of some milliseconds with an interruption point between two (a Sobol generator, which would compute
// its batch of points again at every cut, draws in one piece).
void draw_gaussians(random& generator, double* output, size_t count, size_t skip) {
  constexpr size_t chunk = size_t{1} << 20;
  for (size_t first = 0; first < count; first += chunk) {
    if (first > 0) interruption::point();
    generator.gaussians(output + first, std::min(chunk, count - first), first == 0 ? skip : 0);
  }
}

// y -= c x
void subtract_multiple(double c, const double* x, double* y, size_t n) noexcept {
  for (size_t i = 0; i < n; ++i) y[i] -= c * x[i];
}

void subtract(double c, double* y, size_t n) noexcept {
  for (size_t i = 0; i < n; ++i) y[i] -= c;
}

void scale(double c, double* y, size_t n) noexcept {
  for (size_t i = 0; i < n; ++i) y[i] *= c;
}

}  // namespace

// What a batch leaves to the next on its thread: the buffer of its numbers, the orthogonalisation's norms and
// the last Sobol generator with what it was made for. A run builds one manager per batch and the library has
// no object that outlives the batches of a thread, so the thread keeps the workspace of its last batch
// (spare_workspace, a thread_local): a manager takes it when it is built and gives it back when it is
// destroyed, so that no two managers ever share one. It carries no numbers from one batch to the next: the
// buffer is written before it is read, and a Sobol number depends on its position alone.
struct random_manager::workspace {
  workspace() = default;
  workspace(const workspace&) = delete;
  workspace& operator=(const workspace&) = delete;
  ~workspace() { cpu_allocator::free(buffer); }

  // A buffer of at least size doubles.
  double* buffer_of(size_t size) {
    if (capacity < size) {
      cpu_allocator::free(buffer);
      buffer = nullptr;
      capacity = 0;
      buffer = cpu_allocator::allocate_array<double>(size);
      capacity = size;
    }
    return buffer;
  }

  // The Sobol generator of type for the settings, the one kept if it was made for the same.
  const std::shared_ptr<sobol_generator>& sobol_for(random_type type, const ptr_const<random_settings>& settings) {
    const bool same = sobol != nullptr && sobol_type == type && sobol_settings->seed() == settings->seed() &&
                      sobol_settings->number_of_paths_per_batch() == settings->number_of_paths_per_batch() &&
                      sobol_settings->number_of_simulation_dates() == settings->number_of_simulation_dates() &&
                      sobol_settings->number_of_brownians() == settings->number_of_brownians() &&
                      sobol_settings->use_shift() == settings->use_shift() &&
                      sobol_settings->generator_type() == settings->generator_type();
    if (!same) {
      sobol.reset();
      sobol = std::dynamic_pointer_cast<sobol_generator>(random::random_generator_factory(type, settings));
      QAVREK_CHECK(sobol != nullptr, "the generator of a Sobol type is a Sobol generator");
      sobol_type = type;
      sobol_settings = settings;
    }
    return sobol;
  }

  double* buffer = nullptr;
  size_t capacity = 0;
  std::vector<double> squared_norms;
  std::shared_ptr<sobol_generator> sobol;
  random_type sobol_type = random_type::SOBOL;
  ptr_const<random_settings> sobol_settings;
};

std::unique_ptr<random_manager::workspace>& random_manager::spare_workspace() noexcept {
  thread_local std::unique_ptr<workspace> spare;
  return spare;
}

random_manager::random_manager(const ptr_const<random_config>& config) noexcept : config_(config) {
  try {
    construct(nullptr);
  } catch (...) {
    construction_failure_ = std::current_exception();
    release_after_failure();
  }
}

random_manager::random_manager(const ptr_const<random_config>& config, drawing mode) noexcept : config_(config) {
  try {
    construct(&mode);
  } catch (...) {
    construction_failure_ = std::current_exception();
    release_after_failure();
  }
}

random_manager::~random_manager() {
  generator_.reset();
  sobol_.reset();
  std::unique_ptr<workspace>& spare = spare_workspace();
  if (spare == nullptr) spare = std::move(workspace_);
  config_.reset();
}

void random_manager::construct(const drawing* requested_mode) {
  QAVREK_CHECK(config_ != nullptr, "a random manager needs a random configuration");
  const ptr_const<random_settings> settings = config_->settings();
  QAVREK_CHECK(settings != nullptr, "the random configuration has no settings");
  const size_t paths = settings->number_of_paths_per_batch();
  const size_t dates = settings->number_of_simulation_dates();
  const size_t brownians = settings->number_of_brownians();
  const size_t batch_index = settings->batch_index();
  const bool orthogonalization = settings->orthogonalization();
  const bool non_empty = paths > 0 && dates > 0 && brownians > 0;
  QAVREK_CHECK(non_empty, "a batch needs at least one path, one simulation date and one brownian, got ", paths,
               " paths, ", dates, " dates and ", brownians, " brownians");

  const random_type type = config_->main_generator_type();
  // Every generator reaches any date's block of its stream, the Sobol ones by a jump; only the
  // orthogonalisation, which mixes all dates, needs the whole batch at once.
  const drawing mode = requested_mode != nullptr ? *requested_mode
                       : orthogonalization       ? drawing::up_front
                                                 : drawing::one_date;
  if (mode == drawing::one_date)
    QAVREK_CHECK(!orthogonalization, "orthogonalization needs the whole batch drawn up front");

  const size_t block_size = checked_product(brownians, paths, "a date's block");
  const size_t batch_size = checked_product(dates, block_size, "a batch");
  // Every stream position of the batch, (b D + t) B P + ..., then fits as well.
  const size_t batch_start = checked_product(batch_index, batch_size, "the start of the batch in its stream");
  const bool batch_end_fits = batch_size <= std::numeric_limits<size_t>::max() - batch_start;
  QAVREK_CHECK(batch_end_fits, "the end of batch ", batch_index, " in its stream does not fit in a size_t");
  if (mode == drawing::up_front && orthogonalization) {
    const size_t rows = dates * brownians;
    QAVREK_CHECK(rows < paths, "orthogonalization of ", rows,
                 " rows (number_of_simulation_dates x number_of_brownians) needs more paths than rows, got ",
                 paths, " paths");
  }

  std::unique_ptr<workspace>& spare = spare_workspace();
  workspace_ = spare != nullptr ? std::move(spare) : std::make_unique<workspace>();
  if (is_sobol(type)) {
    sobol_ = workspace_->sobol_for(type, settings);
    generator_ = sobol_;
    position_ = no_position;  // the buffer holds nothing of this batch
  } else {
    generator_ = random::random_generator_factory(type, settings);
  }
  generate_upfront_ = mode == drawing::up_front;
  buffer_size_ = generate_upfront_ ? batch_size : checked_product(2, block_size, "the buffer");
  buffer_ = workspace_->buffer_of(buffer_size_);
  half_size_ = buffer_size_ / 2;
  if (!generate_upfront_) return;

  draw(batch_start, buffer_, buffer_size_);
  if (orthogonalization) orthogonalize(dates * brownians, paths);
}

void random_manager::release_after_failure() noexcept {
  buffer_ = nullptr;
  buffer_size_ = 0;
  half_size_ = 0;
  generator_.reset();
  sobol_.reset();
}

// Modified Gram-Schmidt over the rows of the batch, then each row centred and scaled to mean square 1. The
// centring keeps a row orthogonal to the rows before it, which already have mean 0.
void random_manager::orthogonalize(size_t rows, size_t paths) {
  std::vector<double>& squared_norm = workspace_->squared_norms;
  squared_norm.resize(rows);
  for (size_t r = 0; r < rows; ++r) {
    double* row = buffer_ + r * paths;
    const double initial_norm = std::sqrt(dot(row, row, paths));
    for (size_t j = 0; j < r; ++j) {
      const double* earlier = buffer_ + j * paths;
      subtract_multiple(dot(row, earlier, paths) / squared_norm[j], earlier, row, paths);
    }
    const double mean = sum(row, paths) / static_cast<double>(paths);
    subtract(mean, row, paths);
    const double norm = std::sqrt(dot(row, row, paths));
    // What is left of a row that depends on the earlier rows and the constant is rounding noise.
    const double noise = 1e3 * std::numeric_limits<double>::epsilon() * initial_norm;
    QAVREK_CHECK(norm > noise, "row ", r,
                 " of the batch is a linear combination of the rows before it and cannot be orthogonalized");
    scale(std::sqrt(static_cast<double>(paths)) / norm, row, paths);
    squared_norm[r] = dot(row, row, paths);
  }
}

void random_manager::check_constructed() const {
  if (!construction_failure_) return;
  try {
    std::rethrow_exception(construction_failure_);
  } catch (const interrupted&) {
    throw;  // the caller stopped the up-front draw: no failure of the construction
  } catch (const std::exception& failure) {
    QAVREK_FAIL("the random manager could not be constructed: ", failure.what());
  } catch (...) {
    QAVREK_FAIL("the random manager could not be constructed: unknown failure");
  }
}

size_t random_manager::number_of_paths() const {
  const ptr_const<random_settings> settings = config_ != nullptr ? config_->settings() : nullptr;
  if (settings == nullptr) check_constructed();
  QAVREK_CHECK(settings != nullptr, "the random manager has no random settings");
  return settings->number_of_paths_per_batch();
}

matrix<double> random_manager::correlate(size_t time_index, const matrix<double>& decomposed_correlation) const {
  check_constructed();
  const ptr_const<random_settings> settings = config_->settings();
  const size_t paths = settings->number_of_paths_per_batch();
  const size_t dates = settings->number_of_simulation_dates();
  const size_t brownians = settings->number_of_brownians();
  // Date 0 is the start of the simulation, where nothing is drawn; up front its block is the output area.
  const bool simulated_date = time_index >= 1 && time_index < dates;
  QAVREK_CHECK(simulated_date, "time_index ", time_index, " is not a simulation step: expected 1 to ", dates - 1);
  const bool factor_shape = decomposed_correlation.rows() == brownians && decomposed_correlation.columns() == brownians;
  QAVREK_CHECK(factor_shape, "the decomposed correlation must be ", brownians, " x ", brownians, " (the brownians), got ",
               decomposed_correlation.rows(), " x ", decomposed_correlation.columns());

  const double* uncorrelated = nullptr;
  double* correlated = nullptr;
  if (generate_upfront_) {
    uncorrelated = buffer_ + time_index * brownians * paths;
    correlated = buffer_;
  } else {
    draw_date(time_index);
    uncorrelated = buffer_;
    correlated = buffer_ + half_size_;
  }
  matrix_multiplication('N', 'N', brownians, paths, brownians, decomposed_correlation.data(), brownians, uncorrelated,
                        paths, correlated, paths);
  return matrix<double>::view(correlated, brownians, paths);
}

void random_manager::draw_date(size_t time_index) const {
  const ptr_const<random_settings> settings = config_->settings();
  const size_t batch_dates = settings->batch_index() * settings->number_of_simulation_dates();
  const size_t target = (batch_dates + time_index) * half_size_;
  if (position_ == target + half_size_) return;  // the first half still holds this date
  draw(target, buffer_, half_size_);
}

void random_manager::draw(size_t target, double* output, size_t count) const {
  // A failure part-way leaves the position unknown.
  const size_t position = position_;
  position_ = no_position;
  if (sobol_ != nullptr) {
    sobol_->seek(target);
    sobol_->gaussians(output, count, 0);
  } else if (target < position) {
    // A pseudo-random generator only moves forward: back to the start of its stream.
    generator_ = random::random_generator_factory(config_->main_generator_type(), config_->settings());
    draw_gaussians(*generator_, output, count, target);
  } else {
    draw_gaussians(*generator_, output, count, target - position);
  }
  position_ = target + count;
}

}  // namespace qavrek
