if(TARGET qavrek::PDE)
  qavrek_add_benchmark(bench_pde_scheme
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pde_scheme_bench.cpp
    DEPS qavrek::PDE)
endif()
