# Helpers shared by every folder: test registration with folder labels, and fuzz targets.

# quandel_add_test(NAME <target> LABEL <folder> SOURCES ... LIBS ...)
# One GoogleTest executable; each of its tests becomes a ctest test labelled with the folder.
function(quandel_add_test)
    cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} quandel_test_support GTest::gtest GTest::gtest_main Threads::Threads)
    gtest_discover_tests(${T_NAME}
        PROPERTIES LABELS "${T_LABEL}"
        DISCOVERY_TIMEOUT 60)
    set_property(GLOBAL APPEND PROPERTY QUANDEL_TESTS_${T_LABEL} ${T_NAME})
endfunction()

# quandel_add_fuzz(WHAT <what> SOURCE <file> LIBS ...)
# With QUANDEL_FUZZ: the libFuzzer executable fuzz_<what>. Otherwise: a replay executable that
# feeds every file of tests/corpus/<what>/ once through the same entry point, run by ctest with
# the labels of its folder and "fuzz".
function(quandel_add_fuzz)
    cmake_parse_arguments(F "" "WHAT;SOURCE;LABEL" "LIBS" ${ARGN})
    set(support ${PROJECT_SOURCE_DIR}/tests/support/FuzzInputFile.cpp ${PROJECT_SOURCE_DIR}/tests/support/FuzzFormatFiles.cpp)
    if(QUANDEL_FUZZ)
        add_executable(fuzz_${F_WHAT} ${F_SOURCE} ${support})
        target_link_libraries(fuzz_${F_WHAT} PRIVATE ${F_LIBS})
        target_link_options(fuzz_${F_WHAT} PRIVATE -fsanitize=fuzzer)
        target_include_directories(fuzz_${F_WHAT} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    else()
        add_executable(replay_${F_WHAT} ${F_SOURCE} ${support} ${PROJECT_SOURCE_DIR}/tests/support/CorpusReplayMain.cpp)
        target_link_libraries(replay_${F_WHAT} PRIVATE ${F_LIBS})
        target_include_directories(replay_${F_WHAT} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
        add_test(NAME fuzz_corpus_${F_WHAT}
            COMMAND replay_${F_WHAT} ${PROJECT_SOURCE_DIR}/tests/corpus/${F_WHAT})
        set_tests_properties(fuzz_corpus_${F_WHAT} PROPERTIES LABELS "${F_LABEL};fuzz")
    endif()
endfunction()
