# The C++ library tarvelo::torso_kinematics: the facade of include/tarvelo over the core, one
# static archive (position-independent) that holds the core and its JSON reader, so that the
# installed headers need neither the core's headers nor RapidJSON's.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# colcon reads the version from package.xml; it must be the package's.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/package.xml TORSO_PACKAGE_XML)
string(REGEX MATCH "<version>([^<]*)</version>" TORSO_PACKAGE_XML_VERSION "${TORSO_PACKAGE_XML}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "package.xml has version ${CMAKE_MATCH_1}, pyproject.toml ${PROJECT_VERSION}")
endif()

add_library(torso_kinematics_cpp STATIC
  api/arm_kinematics.cpp
  api/neck_kinematics.cpp
  ${TORSO_CORE_SOURCES})
add_library(tarvelo::torso_kinematics ALIAS torso_kinematics_cpp)
set_target_properties(torso_kinematics_cpp PROPERTIES
  OUTPUT_NAME tarvelo_torso_kinematics
  EXPORT_NAME torso_kinematics)
target_include_directories(torso_kinematics_cpp PUBLIC
  $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_include_directories(torso_kinematics_cpp SYSTEM PRIVATE ${RAPIDJSON_INCLUDE_DIRS})
target_compile_features(torso_kinematics_cpp PUBLIC cxx_std_23)
# The build flags stay with this build: an installed consumer inherits none of them.
target_link_libraries(torso_kinematics_cpp PRIVATE $<BUILD_INTERFACE:torso_flags>)

set(TORSO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarvelo_torso_kinematics)
install(TARGETS torso_kinematics_cpp EXPORT tarvelo_torso_kinematicsTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/tarvelo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT tarvelo_torso_kinematicsTargets NAMESPACE tarvelo::
        DESTINATION ${TORSO_CMAKE_DIR})
configure_package_config_file(cmake/tarvelo_torso_kinematicsConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematicsConfig.cmake
  INSTALL_DESTINATION ${TORSO_CMAKE_DIR})
# Before 1.0 a minor version may break the API, so only the same minor version is compatible.
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematicsConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematicsConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematicsConfigVersion.cmake
  DESTINATION ${TORSO_CMAKE_DIR})
# The .pc file finds the prefix from its own place, so an install with --prefix works.
file(RELATIVE_PATH TORSO_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TORSO_PC_TO_PREFIX "${TORSO_PC_TO_PREFIX}")
configure_file(cmake/tarvelo_torso_kinematics.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematics.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tarvelo_torso_kinematics.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TORSO_CXX_TESTS)
  enable_testing()
  # Every facade method but the document ones, 10^6 calls each under a counting allocator.
  add_executable(torso_cpp_allocations tests/cpp/allocations.cpp tests/cpp/noexcept.cpp)
  target_link_libraries(torso_cpp_allocations PRIVATE tarvelo::torso_kinematics torso_flags)
  add_test(NAME allocations COMMAND torso_cpp_allocations)
  # Reads calls as hex floats and writes the facade's results; pytest compares them with Python.
  add_executable(torso_cpp_agreement tests/cpp/agreement.cpp)
  target_link_libraries(torso_cpp_agreement PRIVATE tarvelo::torso_kinematics torso_flags)
endif()

if(TORSO_BENCHMARKS)
  add_executable(torso_latency bench/latency.cpp)
  target_link_libraries(torso_latency PRIVATE tarvelo::torso_kinematics torso_flags)
endif()
