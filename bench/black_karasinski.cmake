if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_black_karasinski
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/black_karasinski_bench.cpp
    DEPS qavrek::Analytics)
endif()
