if(TARGET qavrek::Analytics)
  qavrek_add_benchmark(bench_pde_manager
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pde_manager_bench.cpp
    DEPS qavrek::Analytics)
endif()
