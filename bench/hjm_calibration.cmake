if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_hjm_calibration
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/hjm_calibration_bench.cpp
    DEPS qavrek::Analytics)
endif()
