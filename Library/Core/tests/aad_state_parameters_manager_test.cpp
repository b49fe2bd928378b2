#include <gtest/gtest.h>

#include <vector>

#include "Core/aad_state_parameters_manager.h"

namespace qavrek {
namespace {

class two_parameters : public aad_state_parameters_manager {
 public:
  explicit two_parameters(bool initialise) {
    if (initialise) {
      set_state_parameters_size(2);
      set_initialized(true);
    }
  }
  void finalize_aad(double*) const override {}
  size_t get_state_parameters(double* out) const override {
    out[0] = a;
    out[1] = b;
    return 2;
  }
  size_t set_state_parameters(const double* in) override {
    a = in[0];
    b = in[1];
    return 2;
  }
  double a = 1.0, b = 2.0;
};

TEST(AadStateParametersManager, StartsEmptyAndUnregistered) {
  const two_parameters fresh(false);
  EXPECT_EQ(fresh.state_parameters_size(), 0u);
  EXPECT_FALSE(fresh.is_initialized());
  EXPECT_FALSE(fresh.is_registered());
  EXPECT_EQ(fresh.adjoint_offset(), 0u);
}

TEST(AadStateParametersManager, AdjointsAddAtOffsetPlusIndex) {
  const two_parameters parameters(true);
  parameters.register_at(3);
  EXPECT_TRUE(parameters.is_registered());
  std::vector<double> adjoints(6, 1.0);
  parameters.update_state_parameters(0.5, parameters.adjoint_offset(), 1, adjoints.data());
  parameters.update_state_parameters(0.25, parameters.adjoint_offset(), 1, adjoints.data());
  EXPECT_EQ(adjoints, (std::vector<double>{1, 1, 1, 1, 1.75, 1}));
  EXPECT_EQ(parameters.get_state_parameters_aad(3, 1, adjoints.data()), adjoints.data() + 4);
}

TEST(AadStateParametersManager, StateRoundTripsThroughTheBase) {
  two_parameters parameters(true);
  aad_state_parameters_manager& base = parameters;
  const double in[] = {0.1, 0.2};
  EXPECT_EQ(base.set_state_parameters(in), 2u);
  double out[2] = {};
  EXPECT_EQ(base.get_state_parameters(out), 2u);
  EXPECT_EQ(out[0], 0.1);
  EXPECT_EQ(out[1], 0.2);
}

}  // namespace
}  // namespace qavrek
