#include "Random/sobol_generator.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "Core/check.h"
#include "Random/inverse_normal_cdf.h"

namespace qavrek {

size_t sobol_generator::dimension(const random_settings& settings) {
  const size_t paths = settings.number_of_paths_per_batch();
  const size_t dates = settings.number_of_simulation_dates();
  const size_t brownians = settings.number_of_brownians();
  const bool non_empty = paths > 0 && dates > 0 && brownians > 0;
  QAVREK_CHECK(non_empty, "a Sobol generator needs at least one path, one simulation date and one brownian, got ",
               paths, " paths, ", dates, " dates and ", brownians, " brownians");
  const size_t maximum = sobol_sequence::maximum_dimension();
  const bool within_table = dates <= maximum && brownians <= maximum / dates;
  QAVREK_CHECK(within_table, "a Sobol generator has at most ", maximum,
               " dimensions (number_of_simulation_dates x number_of_brownians), got ", dates, " x ", brownians);
  return dates * brownians;
}

sobol_generator::sobol_generator(const random_settings& settings, bool brownian_bridge,
                                 std::vector<std::uint32_t> shift)
    : paths_(settings.number_of_paths_per_batch()),
      dates_(settings.number_of_simulation_dates()),
      brownians_(settings.number_of_brownians()),
      rows_(dimension(settings)),
      batch_size_(0),
      shift_(std::move(shift)),
      row_dimension_(rows_),
      bridge_(),
      sequence_(rows_),
      normals_(rows_),
      values_(rows_) {
  const bool batch_fits = paths_ <= std::numeric_limits<size_t>::max() / rows_;
  QAVREK_CHECK(batch_fits, "a batch of ", paths_, " paths of ", rows_, " numbers does not fit in memory");
  batch_size_ = rows_ * paths_;
  const bool shift_matches = shift_.empty() || shift_.size() == rows_;
  QAVREK_CHECK(shift_matches, "a digital shift needs one word per dimension");

  std::vector<size_t> slot_of_date(dates_);
  slot_of_date[0] = dates_ - 1;
  for (size_t t = 1; t < dates_; ++t) slot_of_date[t] = t - 1;
  if (brownian_bridge) {
    bridge_.emplace(dates_ - 1);
    for (size_t rank = 0; rank + 1 < dates_; ++rank) slot_of_date[bridge_->date(rank)] = rank;
  }
  for (size_t t = 0; t < dates_; ++t)
    for (size_t k = 0; k < brownians_; ++k) row_dimension_[t * brownians_ + k] = slot_of_date[t] * brownians_ + k;
}

void sobol_generator::uniforms(double* output, size_t size, size_t discard_count) {
  draw(output, size, discard_count, kind::uniform);
}

void sobol_generator::discard(size_t discard_count) { draw(nullptr, 0, discard_count, kind::uniform); }

void sobol_generator::gaussians(double* output, size_t size, size_t discard_count) {
  draw(output, size, discard_count, kind::gaussian);
}

void sobol_generator::draw(double* output, size_t size, size_t discard_count, kind what) {
  constexpr std::uint64_t end_of_stream = std::numeric_limits<std::uint64_t>::max();
  const bool in_range = discard_count <= end_of_stream - position_ && size <= end_of_stream - position_ - discard_count;
  QAVREK_CHECK(in_range, "cannot skip ", discard_count, " and draw ", size, " numbers after position ", position_);
  const std::uint64_t start = position_ + discard_count;
  const std::uint64_t end = start + size;
  for (std::uint64_t position = start; position < end;) {
    const std::uint64_t batch = position / batch_size_;
    const size_t first = static_cast<size_t>(position % batch_size_);
    const size_t last = static_cast<size_t>(std::min<std::uint64_t>(batch_size_, first + (end - position)));
    write_segment(output + (position - start), batch, first, last, what);
    position += last - first;
  }
  position_ = end;
}

void sobol_generator::write_segment(double* output, std::uint64_t batch, size_t first, size_t last, kind what) {
  const bool bridged = bridge_.has_value() && what == kind::gaussian;
  for (size_t p = 0; p < paths_; ++p) {
    // The rows r whose number r x P + p falls in [first, last).
    const size_t row_begin = first <= p ? 0 : (first - p + paths_ - 1) / paths_;
    const size_t row_end = last <= p ? 0 : (last - p + paths_ - 1) / paths_;
    if (row_begin >= row_end) continue;
    move_to_path(batch * paths_ + p);
    auto at = [&](size_t r) -> double& { return output[r * paths_ + p - first]; };
    if (bridged) {
      bridge_current_path();
      for (size_t r = row_begin; r < row_end; ++r) at(r) = values_[r];
    } else if (what == kind::gaussian) {
      for (size_t r = row_begin; r < row_end; ++r) at(r) = inverse_normal_cdf(uniform(row_dimension_[r]));
    } else {
      for (size_t r = row_begin; r < row_end; ++r) at(r) = uniform(row_dimension_[r]);
    }
  }
}

void sobol_generator::move_to_path(std::uint64_t path) {
  const std::uint64_t index = path + 1;
  if (index == sequence_.index()) return;
  if (index == sequence_.index() + 1)
    sequence_.advance();
  else
    sequence_.move_to(index);
}

double sobol_generator::uniform(size_t dimension) const noexcept {
  const std::uint32_t x = sequence_.point()[dimension];
  if (shift_.empty()) return static_cast<double>(x) * 0x1p-32;
  return word_to_open_uniform(x ^ shift_[dimension]);
}

void sobol_generator::bridge_current_path() {
  for (size_t d = 0; d < rows_; ++d) normals_[d] = inverse_normal_cdf(uniform(d));
  for (size_t k = 0; k < brownians_; ++k) {
    bridge_->increments(&normals_[k], brownians_, &values_[brownians_ + k], brownians_);
    values_[k] = normals_[(dates_ - 1) * brownians_ + k];  // date 0
  }
}

}  // namespace qavrek
