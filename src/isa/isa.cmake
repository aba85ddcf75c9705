# The instruction tables are generated from src/isa/tricore.isa by a host program.
add_executable(isagen
  ${CMAKE_SOURCE_DIR}/src/isa/gen/isagen.cpp
  ${CMAKE_SOURCE_DIR}/src/isa/gen/AttributeData.cpp
  ${CMAKE_SOURCE_DIR}/src/isa/gen/IsaData.cpp)
# The generator runs on the build host: no sanitizer or fuzzer instrumentation.
set_target_properties(isagen PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra" LINK_OPTIONS "")

set(VEKT_ISA_DATA ${CMAKE_SOURCE_DIR}/src/isa/tricore.isa)
# Where the published encodings are at hand, the generator checks every opcode against them.
set(VEKT_ISA_ENCODINGS ${CMAKE_SOURCE_DIR}/../shared/isa/instructions.tsv CACHE FILEPATH
    "Published TriCore encodings that the generator checks the data file against (optional)")
set(VEKT_ISA_CHECK_ARGS "")
if(EXISTS ${VEKT_ISA_ENCODINGS})
  set(VEKT_ISA_CHECK_ARGS ${VEKT_ISA_ENCODINGS})
else()
  message(WARNING "${VEKT_ISA_ENCODINGS} not found: the instruction tables are generated "
                  "without the opcode cross-check (set VEKT_ISA_ENCODINGS to the encodings file)")
endif()

file(MAKE_DIRECTORY ${VEKT_GENERATED_DIR}/isa)
add_custom_command(
  OUTPUT ${VEKT_GENERATED_DIR}/isa/TriCoreTables.cpp
  COMMAND isagen ${VEKT_ISA_DATA} ${VEKT_GENERATED_DIR}/isa ${VEKT_ISA_CHECK_ARGS}
  DEPENDS isagen ${VEKT_ISA_DATA}
  COMMENT "Generating the TriCore instruction tables"
  VERBATIM)
list(APPEND VEKT_GENERATED_SOURCES ${VEKT_GENERATED_DIR}/isa/TriCoreTables.cpp)

if(VEKT_TESTS)
  enable_testing()
  # The generator's form list, printed in the notation of the data file, against the
  # reference list of all forms.
  add_test(NAME isa_form_list
           COMMAND isagen --check-forms ${VEKT_ISA_DATA}
                   ${CMAKE_SOURCE_DIR}/tests/unit/isa/fixtures/form-lines.txt)
endif()

add_executable(isa_startup_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/src/isa/bench/isa_startup.cpp)
target_link_libraries(isa_startup_bench PRIVATE vektcore)
