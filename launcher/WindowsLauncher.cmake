# zkQuoteForge.exe (the launcher) and zkQuoteForgeEngine.dll (the execution
# engine, a COM server that holds the application).
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The module container: one manifest per application module, the entry
# module zkQuoteForge.module first among the top-folder ones by name.
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
    OBJECT_DEPENDS ${ZK_CONTAINER}
    COMPILE_DEFINITIONS "ZK_MODULE_CONTAINER=\\\"${ZK_CONTAINER}\\\";${ARGN}")
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
