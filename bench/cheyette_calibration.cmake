if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_cheyette_calibration
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/cheyette_calibration_bench.cpp
    DEPS qavrek::Analytics)
endif()
