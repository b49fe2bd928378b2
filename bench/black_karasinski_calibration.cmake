if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_black_karasinski_calibration
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/black_karasinski_calibration_bench.cpp
    DEPS qavrek::Analytics)
endif()
