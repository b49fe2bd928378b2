#pragma once

#include <cstddef>
#include <cstdint>

namespace qavrek {

// Base of every object that exposes a flat vector of state parameters and takes adjoints back
// through the same layout: the parameter sets and the models. An object is registered in a
// shared adjoint array at an offset; its adjoints live from that offset on.
class aad_state_parameters_manager {
 public:
  aad_state_parameters_manager() = default;
  aad_state_parameters_manager(const aad_state_parameters_manager&) = default;
  aad_state_parameters_manager& operator=(const aad_state_parameters_manager&) = default;

  // Pushes adjoints held at this object's offset into those of the objects it depends on.
  virtual void finalize_aad(double* adjoints) const = 0;
  // Writes the state parameters from out[0] on; returns how many were written.
  virtual size_t get_state_parameters(double* out) const = 0;
  // Reads the state parameters from in[0] on; returns how many were read.
  virtual size_t set_state_parameters(const double* in) = 0;
  virtual ~aad_state_parameters_manager() = default;

  size_t state_parameters_size() const noexcept { return state_parameters_size_; }
  bool is_initialized() const noexcept { return initialized_ != 0; }

  size_t adjoint_offset() const noexcept { return adjoint_offset_; }
  bool is_registered() const noexcept { return registered_ != 0; }
  // Places this object's adjoints at `offset` of the shared adjoint array.
  void register_at(size_t offset) const noexcept {
    adjoint_offset_ = offset;
    registered_ = 1;
  }

  // adjoints[offset + index] += value.
  void update_state_parameters(double value, size_t offset, size_t index, double* adjoints) const noexcept {
    adjoints[offset + index] += value;
  }

  // The adjoint at offset + index.
  double* get_state_parameters_aad(size_t offset, size_t index, double* adjoints) const noexcept {
    return adjoints + offset + index;
  }

 protected:
  void set_state_parameters_size(size_t size) noexcept { state_parameters_size_ = size; }
  void set_initialized(bool initialized) noexcept { initialized_ = initialized ? 1 : 0; }

 private:
  size_t state_parameters_size_ = 0;
  // Where the object sits in the adjoint array is bookkeeping, not state: a const object can be registered.
  mutable size_t adjoint_offset_ = 0;
  mutable uint8_t registered_ = 0;
  uint8_t initialized_ = 0;
};

}  // namespace qavrek
