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

namespace {

// Coordinates per call of the sequence: their words and numbers stay in the first-level cache, and there are
// enough of them for the inverse normal to set aside its tail values in full steps.
constexpr size_t chunk_size = 2048;

}  // namespace

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
      words_(chunk_size) {
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
    rank_of_date_.assign(dates_, 0);
    for (size_t rank = 0; rank + 1 < dates_; ++rank) {
      slot_of_date[bridge_->date(rank)] = rank;
      rank_of_date_[bridge_->date(rank)] = rank;
    }
    slot_of_date_.assign(dates_, no_slot);
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
  // A skip is a jump, refused before it lands where no point is left, so a failed one moves nothing.
  QAVREK_CHECK(discard_count == 0 || has_point(start), "cannot skip ", discard_count, " numbers after position ",
               position_, ": the Sobol sequence has ", sobol_sequence::last_index,
               " points after the zero point, and number ", start, " (batch ", start / batch_size_, ", path ",
               start % batch_size_ % paths_, " of ", paths_, ") is beyond them");
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

void sobol_generator::seek(std::uint64_t position) {
  QAVREK_CHECK(has_point(position), "cannot move to number ", position, " (batch ", position / batch_size_,
               ", path ", position % batch_size_ % paths_, " of ", paths_, "): the Sobol sequence has ",
               sobol_sequence::last_index, " points after the zero point");
  position_ = position;
}

bool sobol_generator::has_point(std::uint64_t position) const {
  // Path p of batch b is point b P + p + 1.
  const std::uint64_t batch = position / batch_size_;
  const std::uint64_t path = position % batch_size_ % paths_;
  return batch <= sobol_sequence::last_index / paths_ && batch * paths_ + path < sobol_sequence::last_index;
}

void sobol_generator::write_segment(double* output, std::uint64_t batch, size_t first, size_t last, kind what) {
  const bool bridged = bridge_.has_value() && what == kind::gaussian;
  for (size_t r = first / paths_; r * paths_ < last; ++r) {
    const size_t row_start = r * paths_;
    const size_t first_path = std::max(first, row_start) - row_start;
    const size_t count = std::min(last - row_start, paths_) - first_path;
    double* out = output + (row_start + first_path - first);
    const size_t date = r / brownians_;
    if (bridged && date > 0) {
      write_increments(out, batch, date, r % brownians_, first_path, count);
    } else {
      write_dimension(out, batch, row_dimension_[r], first_path, count, what);
    }
  }
}

void sobol_generator::write_dimension(double* output, std::uint64_t batch, size_t dimension, size_t first_path,
                                      size_t count, kind what) {
  // Path p of batch b is point b P + p + 1, the zero point being skipped.
  const bool exists = batch <= sobol_sequence::last_index / paths_;
  QAVREK_CHECK(exists, "the Sobol sequence has ", sobol_sequence::last_index,
               " points after the zero point, batch ", batch, " of ", paths_, " paths is beyond them");
  const std::uint64_t first_point = batch * paths_ + first_path + 1;
  std::uint32_t* words = words_.data();
  for (size_t done = 0; done < count; done += chunk_size) {
    const size_t n = std::min(chunk_size, count - done);
    sequence_.coordinates(dimension, first_point + done, n, words);
    double* x = output + done;
    if (!shift_.empty()) {
      const std::uint32_t s = shift_[dimension];
      for (size_t i = 0; i < n; ++i) words[i] ^= s;
      if (what == kind::gaussian) {
        inverse_normal_cdf_of_words(words, x, n);
      } else {
        for (size_t i = 0; i < n; ++i) x[i] = word_to_open_uniform(words[i]);
      }
    } else if (what == kind::gaussian) {
      inverse_normal_cdf_of_fractions(words, x, n);
    } else {
      for (size_t i = 0; i < n; ++i) x[i] = static_cast<double>(words[i]) * 0x1p-32;
    }
  }
}

void sobol_generator::write_increments(double* output, std::uint64_t batch, size_t date, size_t factor,
                                       size_t first_path, size_t count) {
  if (batch != bridge_batch_ || first_path != bridge_first_path_ || count != bridge_width_) {
    // Other paths: the rows start afresh, their buffers kept.
    bridge_batch_ = batch;
    bridge_first_path_ = first_path;
    bridge_width_ = count;
    slot_of_date_.assign(dates_, no_slot);
    free_slots_.clear();
    for (size_t slot = slots_.size(); slot-- > 0;) free_slots_.push_back(slot);
  }
  // A walk forward needs nothing before the previous date again.
  for (size_t t = 1; t + 1 < date; ++t) {
    if (slot_of_date_[t] == no_slot) continue;
    free_slots_.push_back(slot_of_date_[t]);
    slot_of_date_[t] = no_slot;
  }
  const size_t now = bridged_slot(date);
  const size_t before = date > 1 ? bridged_slot(date - 1) : no_slot;
  const double* w = slots_[now].values.get() + factor * count;
  if (before == no_slot) {
    for (size_t p = 0; p < count; ++p) output[p] = w[p] - 0.0;  // W(0) = 0
    return;
  }
  const double* w_before = slots_[before].values.get() + factor * count;
  for (size_t p = 0; p < count; ++p) output[p] = w[p] - w_before[p];
}

size_t sobol_generator::bridged_slot(size_t date) {
  if (slot_of_date_[date] != no_slot) return slot_of_date_[date];
  const size_t rank = rank_of_date_[date];
  const size_t left = bridge_->left(rank) > 0 ? bridged_slot(bridge_->left(rank)) : no_slot;
  const size_t right = bridge_->right(rank) > 0 ? bridged_slot(bridge_->right(rank)) : no_slot;
  size_t slot;
  if (free_slots_.empty()) {
    slot = slots_.size();
    slots_.emplace_back();
    // Room to give every slot back at once, so that the rows of later paths allocate nothing.
    free_slots_.reserve(slots_.size());
  } else {
    slot = free_slots_.back();
    free_slots_.pop_back();
  }
  const size_t width = bridge_width_;
  double* const values = slots_[slot].at_least(brownians_ * width);
  double* const normals = normals_.at_least(width);
  for (size_t k = 0; k < brownians_; ++k) {
    write_dimension(normals, bridge_batch_, rank * brownians_ + k, bridge_first_path_, width, kind::gaussian);
    const double* at_left = left != no_slot ? slots_[left].values.get() + k * width : nullptr;
    const double* at_right = right != no_slot ? slots_[right].values.get() + k * width : nullptr;
    bridge_->place(rank, at_left, at_right, normals, values + k * width, width);
  }
  slot_of_date_[date] = slot;
  return slot;
}

}  // namespace qavrek
