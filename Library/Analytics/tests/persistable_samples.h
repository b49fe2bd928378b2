#pragma once

// One sample object of every class that has the five whole-object functions, with the base it is
// registered with (if it is registered), and a comparison by the stored forms: two objects are the same
// when they save to the same JSON text and the same bytes, NaN included.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Analytics/change_of_measure/measure.h"
#include "Analytics/change_of_measure/measure_id.h"
#include "Analytics/common/correlation_manager.h"
#include "Analytics/common/random_config.h"
#include "Analytics/diffusion/credit/id/diffusion_credit_id.h"
#include "Analytics/diffusion/equity/id/diffusion_equity_id.h"
#include "Analytics/diffusion/fx/id/diffusion_fx_id.h"
#include "Analytics/diffusion/ir/id/diffusion_ir_id.h"
#include "Analytics/parameters/day_count_convention_form.h"
#include "Analytics/parameters/parameter_black_karasinski.h"
#include "Analytics/parameters/parameter_cheyette.h"
#include "Analytics/parameters/parameter_extended_cir.h"
#include "Analytics/parameters/parameter_lognormal.h"
#include "Analytics/parameters/parameter_markovian_hjm.h"
#include "Analytics/settings/calibration_black_karasinski_settings.h"
#include "Analytics/settings/calibration_cheyette_settings.h"
#include "Analytics/settings/calibration_hjm_settings.h"
#include "Analytics/settings/calibration_ir_targets_configuration.h"
#include "Core/multi_process_stream.h"
#include "Market/currency.h"
#include "Market/default_id.h"
#include "Market/discount_definition.h"
#include "Market/discount_id.h"
#include "Random/random_settings.h"
#include "Serialization/common/matrix_form.h"
#include "Serialization/serialization_impl.h"
#include "Util/calendar.h"
#include "Util/day_count_convention.h"
#include "ids_test_support.h"
#include "parameters_test_support.h"

namespace qavrek::persistence_samples {

namespace fs = std::filesystem;

using ids_test::discount;
using parameters_test::act_365;
using parameters_test::business_252;
using parameters_test::dates;
using parameters_test::scratch_files;

inline std::string text_of(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_text(const std::string& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// What a test does with an object: save it, and compare two objects by what they save.
template <class T>
std::vector<unsigned char> binary_form(const ptr_const<T>& object) {
  multi_process_stream archive;
  serialization::save(archive, object);
  return archive.GetRawData();
}

template <class T>
void expect_same_object(const ptr_const<T>& actual, const ptr_const<T>& expected) {
  ASSERT_NE(actual, nullptr);
  EXPECT_EQ(T::json_to_string(actual), T::json_to_string(expected));
  EXPECT_EQ(binary_form(actual), binary_form(expected));
}

// The text of the innermost exception of what `action` throws (a failed load wraps the check that
// failed in the errors of the loading steps), or "nothing thrown".
inline std::string innermost_text(const std::exception& e) {
  try {
    std::rethrow_if_nested(e);
  } catch (const std::exception& inner) {
    return innermost_text(inner);
  }
  return e.what();
}

template <class Action>
std::string innermost_message(Action&& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return innermost_text(e);
  }
  return "nothing thrown";
}

// Each sample: its class, the base it is registered with (void when it is not registered), and an
// object whose fields all differ from their defaults.
struct bk_settings_sample {
  using type = calibration_black_karasinski_settings;
  using base = config_data;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(tenor("6M"), 0.05, false, false, 65, 4.5, -20.0, 25.0, 1e-10, true, 15.0, 4,
                                        0.5, false);
  }
};

struct cheyette_settings_sample {
  using type = calibration_cheyette_settings;
  using base = config_data;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(std::vector<double>{0.001, 0.05}, std::vector<double>{0.01, 1.0},
                                        std::vector<double>{-0.5, 0.5}, parameter_markovian_hjm_type::PICEWISE_CONSTANT,
                                        true, 50, 1e-8);
  }
};

struct hjm_settings_sample {
  using type = calibration_hjm_settings;
  using base = config_data;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(3, std::vector<double>{0.002, 0.04}, std::vector<double>{0.02, 2.0},
                                        parameter_markovian_hjm_type::PICEWISE_CONSTANT, true, 77, false, true, 1e-9,
                                        0.25, true, true);
  }
};

struct targets_sample {
  using type = calibration_ir_targets_configuration;
  using base = config_data;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(tenor("6M"), std::vector<tenor>{tenor("1Y"), tenor("2Y")}, tenor("10Y"),
                                        std::vector<tenor>{tenor("5Y")},
                                        std::vector<std::vector<double>>{{0.01, 0.02}, {}, {0.03}}, true, false, true);
  }
};

struct random_config_sample {
  using type = random_config;
  using base = config_data;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(random_type::SOBOL_BROWNIAN_BRIDGE, 42, 1000, 12, 3, 5, true, true,
                                        random_type::MERSENNE_TWISTER, device_type::CPU);
  }
};

struct random_settings_sample {
  using type = random_settings;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(42, 1000, 12, 3, 5, true, random_type::MERSENNE_TWISTER, false,
                                        device_type::CPU, true);
  }
};

struct measure_id_sample {
  using type = measure_id;
  using base = config_data_id;
  static ptr_const<type> sample() { return std::make_shared<const type>(); }
};

struct measure_sample {
  using type = measure;
  using base = config_data;
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR")); }
};

struct ir_id_sample {
  using type = diffusion_ir_id;
  using base = diffusion_id;
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR")); }
};

struct credit_id_sample {
  using type = diffusion_credit_id;
  using base = diffusion_id;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(std::make_shared<const default_id>(
        key("ACME"), std::make_shared<const currency>(key("USD")), key("SNRFOR"), key("XR14"), key("2014")));
  }
};

struct equity_id_sample {
  using type = diffusion_equity_id;
  using base = diffusion_id;
  static ptr_const<type> sample() { return std::make_shared<const type>(discount("OIS", "EUR"), key("ACME")); }
};

struct fx_id_sample {
  using type = diffusion_fx_id;
  using base = diffusion_id;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(discount("OIS", "EUR"), discount("SOFR", "USD"));
  }
};

struct correlation_manager_sample {
  using type = correlation_manager;
  using base = market_data;
  static ptr_const<type> sample() {
    const std::vector<ptr_const<diffusion_id>> ids = {ir_id_sample::sample(), fx_id_sample::sample()};
    return std::make_shared<const type>(datetime(45366.0), ids, std::vector<size_t>{1, 1},
                                        matrix<double>{{1.0, 0.5}, {0.5, 1.0}});
  }
};

struct hjm_sample {
  using type = parameter_markovian_hjm;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(matrix<double>{{0.01, 0.02}, {0.03, 0.04}}, matrix<double>{{0.007, 0.008}},
                                        matrix<double>{{1.0, 0.3}, {0.3, 1.0}}, dates({43831.0, 44196.0}),
                                        dates({43831.0}), business_252(),
                                        parameter_markovian_hjm_type::PICEWISE_CONSTANT);
  }
};

inline ptr_mutable<parameter_markovian_hjm> one_factor_hjm() {
  return std::make_shared<parameter_markovian_hjm>(matrix<double>{{0.05}}, matrix<double>{{0.2}}, matrix<double>{{1.0}},
                                                   dates({43831.0}), dates({43831.0}), act_365(),
                                                   parameter_markovian_hjm_type::HULL_WHITE);
}

struct black_karasinski_sample {
  using type = parameter_black_karasinski;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(one_factor_hjm(), std::vector<double>{-4.0, -3.5}, dates({43831.0, 44196.0}),
                                        12, 6);
  }
};

struct cheyette_sample {
  using type = parameter_cheyette;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(hjm_sample::sample(), matrix<double>{{0.1, 0.2}}, dates({43831.0}), 0.03);
  }
};

struct extended_cir_sample {
  using type = parameter_extended_cir;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(matrix<double>{{0.5, 0.6}}, matrix<double>{{0.1, 0.2}},
                                        matrix<double>{{0.01, 0.02}}, matrix<double>{{1.0, -0.4}, {-0.4, 1.0}},
                                        dates({43831.0}), dates({43831.0}), dates({43831.0}), act_365());
  }
};

struct lognormal_sample {
  using type = parameter_lognormal;
  using base = void;
  static ptr_const<type> sample() {
    return std::make_shared<const type>(matrix<double>{{0.2, 0.3}, {0.25, 0.35}},
                                        matrix<double>{{1.0, 0.6}, {0.6, 1.0}}, dates({43831.0, 44196.0}),
                                        business_252());
  }
};

using registered_samples =
    ::testing::Types<bk_settings_sample, cheyette_settings_sample, hjm_settings_sample, targets_sample,
                     random_config_sample, measure_id_sample, measure_sample, ir_id_sample, credit_id_sample,
                     equity_id_sample, fx_id_sample, correlation_manager_sample>;

using all_samples =
    ::testing::Types<bk_settings_sample, cheyette_settings_sample, hjm_settings_sample, targets_sample,
                     random_config_sample, random_settings_sample, measure_id_sample, measure_sample, ir_id_sample,
                     credit_id_sample, equity_id_sample, fx_id_sample, correlation_manager_sample, hjm_sample,
                     black_karasinski_sample, cheyette_sample, extended_cir_sample, lognormal_sample>;

}  // namespace qavrek::persistence_samples
