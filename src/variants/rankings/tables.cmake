# The scoring tables are generated at build time by a small program kept beside
# them, and their sources join the core library.
set(VANTOR_TABLES_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated_tables)
set(VANTOR_TABLE_SOURCES
  ${VANTOR_TABLES_DIR}/displacements.cpp
  ${VANTOR_TABLES_DIR}/high_tables.cpp
  ${VANTOR_TABLES_DIR}/short_deck_tables.cpp
  ${VANTOR_TABLES_DIR}/deuce_seven_tables.cpp
  ${VANTOR_TABLES_DIR}/ace_five_tables.cpp)
set(VANTOR_TABLE_GENERATOR ${CMAKE_CURRENT_LIST_DIR}/generate_tables.cpp)

add_executable(vantor_generate_tables ${VANTOR_TABLE_GENERATOR})
target_compile_features(vantor_generate_tables PRIVATE cxx_std_20)
# Unoptimised, the generator's subset walks take many seconds; it is never debugged.
target_compile_options(vantor_generate_tables PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-O2>)

add_custom_command(
  OUTPUT ${VANTOR_TABLE_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTOR_TABLES_DIR}
  COMMAND vantor_generate_tables ${VANTOR_TABLES_DIR}
  DEPENDS vantor_generate_tables
  COMMENT "Generating the hand scoring tables"
  VERBATIM)
target_sources(vantor_core PRIVATE ${VANTOR_TABLE_SOURCES})
