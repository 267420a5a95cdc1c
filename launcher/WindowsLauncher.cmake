# zkQuoteForge.exe (the launcher) and zkQuoteForgeEngine.dll (the execution
# engine, a COM server that holds the application).
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The module container: one manifest per application module ("Module" and
# "Version" lines; the entry module zkQuoteForge.module adds "Entry").
set(ZK_MODULES_DIR ${CMAKE_CURRENT_BINARY_DIR}/modules)
# Cached: test folders add the launcher's resources to programs of theirs.
set(ZK_CONTAINER ${CMAKE_CURRENT_BINARY_DIR}/zkQuoteForgeModules.bin CACHE INTERNAL "")
set(ZK_MODULE_ARGS "")
set(ZK_MODULE_FILES "")
foreach(module zkQuoteForge Indication_Tools Indication_Data Indication_Graph encoders/GIFEncoder
               encoders/GIFRunLengthEncoder encoders/PNGEncoder)
  get_filename_component(leaf ${module} NAME)
  set(content "Module: ${leaf}\nVersion: ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}\n")
  if(module STREQUAL "zkQuoteForge")
    string(APPEND content "Entry: zkQuoteForge::main\n")
  endif()
  file(CONFIGURE OUTPUT ${ZK_MODULES_DIR}/${module}.module CONTENT "${content}")
  list(APPEND ZK_MODULE_ARGS ${module}.module=${ZK_MODULES_DIR}/${module}.module)
  list(APPEND ZK_MODULE_FILES ${ZK_MODULES_DIR}/${module}.module)
endforeach()
add_custom_command(OUTPUT ${ZK_CONTAINER}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make-module-container ${ZK_CONTAINER} ${ZK_MODULE_ARGS}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-module-container ${ZK_MODULE_FILES}
  COMMENT "Writing the module container")
add_custom_target(zk_module_container DEPENDS ${ZK_CONTAINER})

# The launcher's code without its resources, shared with its tests.
add_library(zk_launcher_win STATIC LauncherWindows.cpp)
target_link_libraries(zk_launcher_win PUBLIC zk_launcher_core ole32 oleaut32 user32)

# zk_launcher_resources(target rc-file [defines...]) adds the launcher's
# resources, with the module container, to target.
function(zk_launcher_resources target rc)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${ZK_CONTAINER};${ZK_MANIFEST}"
    COMPILE_DEFINITIONS "ZK_MODULE_CONTAINER=\\\"${ZK_CONTAINER}\\\";ZK_MANIFEST=\\\"${ZK_MANIFEST}\\\";${ARGN}")
  add_dependencies(${target} zk_module_container)
endfunction()

add_executable(zkQuoteForge main_launcher.cpp)
target_link_libraries(zkQuoteForge PRIVATE zk_launcher_win)
zk_launcher_resources(zkQuoteForge ${CMAKE_CURRENT_SOURCE_DIR}/zkQuoteForge.rc)

# The COM plumbing of an engine DLL, shared with the test engines.
add_library(zk_engine_server OBJECT EngineServer.cpp)
add_library(zkQuoteForgeEngine SHARED EngineApplication.cpp zkQuoteForgeEngine.def)
target_link_libraries(zkQuoteForgeEngine PRIVATE zk_engine_server zk_launcher_core zk_app ole32 oleaut32 uuid)
set_target_properties(zkQuoteForgeEngine PROPERTIES PREFIX "")

# The launcher built again for 32-bit Windows, build only (32-bit programs do
# not run here): its static assertions pin the records at 24 and 8 bytes.
find_program(ZK_I686_CXX i686-w64-mingw32-g++-posix)
find_program(ZK_I686_WINDRES i686-w64-mingw32-windres)
if(ZK_I686_CXX AND ZK_I686_WINDRES)
  set(i686_dir ${CMAKE_CURRENT_BINARY_DIR}/i686)
  set(i686_sources ${CMAKE_CURRENT_SOURCE_DIR}/main_launcher.cpp ${CMAKE_CURRENT_SOURCE_DIR}/LauncherWindows.cpp
                   ${CMAKE_CURRENT_SOURCE_DIR}/SplitCommandLine.cpp)
  add_custom_command(OUTPUT ${i686_dir}/zkQuoteForge.exe
    COMMAND ${CMAKE_COMMAND} -E make_directory ${i686_dir}
    COMMAND ${ZK_I686_WINDRES} -O coff "-DZK_MODULE_CONTAINER=\\\"${ZK_CONTAINER}\\\"" "-DZK_MANIFEST=\\\"${ZK_MANIFEST}\\\""
            ${CMAKE_CURRENT_SOURCE_DIR}/zkQuoteForge.rc ${i686_dir}/resources.o
    COMMAND ${ZK_I686_CXX} -std=c++20 -O2 -Wall -Wextra -Werror -Wno-restrict -I${CMAKE_SOURCE_DIR} ${i686_sources}
            ${i686_dir}/resources.o -static -lole32 -loleaut32 -luser32 -luuid -o ${i686_dir}/zkQuoteForge.exe
    DEPENDS ${i686_sources} ${CMAKE_CURRENT_SOURCE_DIR}/zkQuoteForge.rc ${ZK_CONTAINER} ${ZK_MANIFEST}
            ${CMAKE_CURRENT_SOURCE_DIR}/Launcher.h ${CMAKE_CURRENT_SOURCE_DIR}/EngineContract.h
            ${CMAKE_CURRENT_SOURCE_DIR}/SplitCommandLine.h ${CMAKE_SOURCE_DIR}/platform/windows/WinHandles.h
    COMMENT "Building the 32-bit launcher (build only)" VERBATIM)
  add_custom_target(zk_launcher_i686 ALL DEPENDS ${i686_dir}/zkQuoteForge.exe)
else()
  message(STATUS "No i686 mingw-w64 compiler: the 32-bit launcher is not built")
endif()
