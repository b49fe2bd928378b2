// Work that runs on several threads at once gets what it gets alone: batches of a simulation sharing their
// diffusions, random managers of different batches (and the generators' jump tables), calibrations sharing one driver on the thread pool,
// and loads through the registries. Built with ThreadSanitizer (QAVREK_TSAN) these tests also show that
// nothing is shared without synchronisation.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Analytics/calibration/ir/hjm/calibration_ir_hjm.h"
#include "Analytics/diffusion/credit/diffusion_credit_markovian_hjm.h"
#include "Analytics/diffusion/ir/diffusion_ir_markovian_hjm.h"
#include "Analytics/simulation/random_manager.h"
#include "Analytics/simulation/simulation_manager.h"
#include "Core/logger.h"
#include "Core/smp_tools_api.h"
#include "Util/datetime_helper.h"
#include "persistable_samples.h"
#include "simulation_test_support.h"

namespace qavrek {
namespace {

constexpr size_t threads = 4;

// Runs work(i) for i = 0 .. count - 1, each on a thread of its own, all started before any is joined.
void on_threads(size_t count, const std::function<void(size_t)>& work) {
  std::vector<std::thread> running;
  for (size_t i = 0; i < count; ++i) running.emplace_back(work, i);
  for (auto& thread : running) thread.join();
}

matrix<double> identity(size_t n) {
  matrix<double> m(n, n);
  for (size_t i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

// Batch 0 and batches far into the stream, which the pseudo-random generators reach by a jump: the first
// jump of a generator type makes its jump table, shared by the threads.
TEST(Concurrency, RandomManagersOfSeveralBatchesDrawWhatTheyDrawAlone) {
  const std::vector<random_type> types = {random_type::SOBOL, random_type::SOBOL_BROWNIAN_BRIDGE,
                                          random_type::WELL_19937, random_type::WELL_44497,
                                          random_type::MERSENNE_TWISTER};
  constexpr size_t dates = 4;
  const auto batch_of = [](size_t i) { return i * 30011; };  // 256 numbers a batch: 7.7 million numbers apart
  const auto draws = [](random_type type, size_t batch) {
    const random_manager manager(simulation_test::random_configuration(32, dates, 2, type, 20240611, batch));
    std::vector<double> numbers;
    for (size_t t = 1; t < dates; ++t) {
      const matrix<double> z = manager.correlate(t, identity(2));
      numbers.insert(numbers.end(), z.begin(), z.end());
    }
    return numbers;
  };
  for (random_type type : types) {
    std::vector<std::vector<double>> together(threads);
    on_threads(threads, [&](size_t i) { together[i] = draws(type, batch_of(i)); });
    for (size_t i = 0; i < threads; ++i)
      EXPECT_EQ(together[i], draws(type, batch_of(i))) << "type " << static_cast<int>(type) << " batch " << batch_of(i);
  }
}

// Batches of one simulation, each a manager on a thread of its own, share the rate and credit diffusions.
TEST(Concurrency, SimulationBatchesSharingTheirDiffusionsGiveWhatTheyGiveAlone) {
  const datetime start(2024, 1, 15);
  constexpr size_t months = 24;
  const std::vector<datetime> dates = simulation_test::monthly_dates(start, months + 1);
  const auto act365 = std::make_shared<const day_count_convention>();
  const auto rate_parameters = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.03, 0.4}}, matrix<double>{{0.012, 0.008}}, matrix<double>{{1.0, -0.5}, {-0.5, 1.0}},
      std::vector{datetime(2030, 1, 15)}, std::vector{datetime(2030, 1, 15)}, act365,
      parameter_markovian_hjm_type::HULL_WHITE);
  const auto credit_parameters = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>{{0.1}}, matrix<double>{{0.012}}, matrix<double>{{1.0}}, std::vector{datetime(2030, 1, 15)},
      std::vector{datetime(2030, 1, 15)}, act365, parameter_markovian_hjm_type::HULL_WHITE);
  const ptr_const<diffusion> rate = std::make_shared<const diffusion_ir_markovian_hjm>(
      dates, std::make_shared<const discount_curve>(start, 0.03), rate_parameters);
  const ptr_const<diffusion> intensity = std::make_shared<const diffusion_credit_markovian_hjm>(
      dates, std::make_shared<const survival_curve>(start, 0.01), credit_parameters);
  const matrix<double> correlation = {{1.0, -0.5, 0.3}, {-0.5, 1.0, 0.0}, {0.3, 0.0, 1.0}};

  // Per path, the discount factor and the survival probability at the last date.
  const auto simulate = [&](size_t batch) {
    constexpr size_t paths = 128;
    simulation_manager manager(
        {rate, intensity}, {std::make_shared<const change_of_measure>(), std::make_shared<const change_of_measure>()},
        correlation,
        simulation_test::random_configuration(paths, months + 1, 3, random_type::MERSENNE_TWISTER, 20240521, batch),
        dates);
    manager.states_initialize();
    for (size_t t = 1; t <= months; ++t) manager.propagate(t);
    vector<double> discount_factors(paths), survival(paths);
    diffusion::diffusion_discount_curve(manager.data(0))->discounting(discount_factors, dates.back());
    diffusion::diffusion_survival_curve(manager.data(1))->survival_probability(survival, dates.back());
    std::vector<double> result(discount_factors.begin(), discount_factors.end());
    result.insert(result.end(), survival.begin(), survival.end());
    return result;
  };
  std::vector<std::vector<double>> together(threads);
  on_threads(threads, [&](size_t batch) { together[batch] = simulate(batch); });
  for (size_t batch = 0; batch < threads; ++batch) EXPECT_EQ(together[batch], simulate(batch)) << "batch " << batch;
}

// Calibrations from several threads share one driver and its market, and their loops share the pool.
TEST(Concurrency, CalibrationsSharingADriverGiveWhatOneGivesAlone) {
  const datetime today(2024, 1, 2);
  const auto act365 = std::make_shared<const day_count_convention>();
  const std::vector<tenor> expiries = {tenor("1Y"), tenor("2Y"), tenor("3Y"), tenor("5Y")};
  const auto targets = std::make_shared<const calibration_ir_targets_configuration>(
      tenor("1Y"), std::vector<tenor>(expiries), tenor("10Y"), std::vector<tenor>{tenor("5Y")},
      std::vector<std::vector<double>>{}, false, false, true);
  const calibration_ir_hjm driver(today, std::make_shared<const discount_curve>(today, 0.03), targets, act365);
  tensor<double> nodes({4, 1, 1});
  for (size_t e = 0; e < 4; ++e) nodes(e, size_t{0}, size_t{0}) = 0.24 - 0.01 * static_cast<double>(e);
  const auto quotes = std::make_shared<const ir_volatility_surface>(today, expiries, std::vector<tenor>{tenor("5Y")},
                                                                    std::vector<double>{}, nodes);
  // The decay is held at 5% by bounds that admit that value only; the volatilities are fitted.
  const auto settings = std::make_shared<const calibration_hjm_settings>(
      1, std::vector<double>{0.0001, 0.05}, std::vector<double>{0.05, 0.05}, parameter_markovian_hjm_type::HULL_WHITE);
  const auto start = std::make_shared<const parameter_markovian_hjm>(
      matrix<double>(driver.calibration_dates().size(), 1, 0.05), matrix<double>(driver.expiry_dates().size(), 1, 0.01),
      matrix<double>{{1.0}}, driver.calibration_dates(), driver.expiry_dates(), act365,
      parameter_markovian_hjm_type::HULL_WHITE);
  const auto calibrated_volatilities = [&] {
    const auto parameters = driver.calibrate(quotes, matrix<double>{{1.0}}, settings, {}, start);
    return std::vector<double>(parameters->volatilities().begin(), parameters->volatilities().end());
  };

  smp_tools_api& api = smp_tools_api::GetInstance();
  const auto backend = api.backend();
  const auto pool_threads = api.GetNumberOfThreadsSTDThread();
  api.set_backend(smp_tools_api::THREAD_POOL, 4);
  const std::vector<double> alone = calibrated_volatilities();
  std::vector<std::vector<double>> together(threads);
  on_threads(threads, [&](size_t i) { together[i] = calibrated_volatilities(); });
  api.set_backend(backend, pool_threads);
  ASSERT_EQ(alone.size(), 4u);
  for (size_t i = 0; i < threads; ++i) EXPECT_EQ(together[i], alone) << "thread " << i;
}

// Loads of objects that hold polymorphic members (the ids of a correlation manager) look their classes up
// in the registries from several threads at once; so do failing loads, which also log.
TEST(Concurrency, LoadsThroughTheRegistriesFromSeveralThreads) {
  namespace samples = persistence_samples;
  const auto sample = samples::correlation_manager_sample::sample();
  const std::string folder = ::testing::TempDir();
  const std::string json = folder + "qavrek_concurrent_loads.json", binary = folder + "qavrek_concurrent_loads.bin";
  const std::string broken = folder + "qavrek_concurrent_loads_broken.json";
  correlation_manager::write_to_json(json, sample);
  correlation_manager::write_to_binary(binary, sample);
  // The same file with a class name that is not a text: its loading logs why it fails.
  ordered_json damaged = ordered_json::parse(samples::text_of(json));
  damaged["root"]["ids"][1]["Class"] = 5;
  samples::write_text(broken, damaged.dump());

  int lines = 0;
  const logger::Sink previous = logger::SetSink([&lines](logger::Verbosity, std::string_view, unsigned, std::string_view) {
    ++lines;  // the logger holds its lock while it calls the sink
  });
  std::vector<int> same(threads, 0), refused(threads, 0);
  on_threads(threads, [&](size_t i) {
    for (int round = 0; round < 5; ++round) {
      same[i] += correlation_manager::json_to_string(correlation_manager::read_from_json(json)) ==
                 correlation_manager::json_to_string(sample);
      same[i] += samples::binary_form(correlation_manager::read_from_binary(binary)) == samples::binary_form(sample);
      try {
        correlation_manager::read_from_json(broken);
      } catch (const Error&) {
        ++refused[i];
      }
    }
  });
  logger::SetSink(previous);
  for (size_t i = 0; i < threads; ++i) {
    EXPECT_EQ(same[i], 10) << "thread " << i;
    EXPECT_EQ(refused[i], 5) << "thread " << i;
  }
  EXPECT_EQ(lines, static_cast<int>(5 * threads));
  for (const auto& file : {json, binary, broken}) std::remove(file.c_str());
}

}  // namespace
}  // namespace qavrek
