# Helpers shared by the CMakeLists of the libraries and programs.

include(GNUInstallDirs)

# suite_library(NAME [DEPS...]): a static library of every *.cpp in the
# current directory; an interface library while the directory holds none.
function(suite_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# suite_program(NAME): main.cpp becomes the program NAME; every other *.cpp
# of the directory goes into the library NAME_lib, which the tests link too.
function(suite_program name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  if(sources)
    add_library(${name}_lib STATIC ${sources})
  else()
    add_library(${name}_lib INTERFACE)
  endif()
  if(sources)
    target_include_directories(${name}_lib PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_lib PUBLIC rederiza common)
  else()
    target_include_directories(${name}_lib INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_lib INTERFACE rederiza common)
  endif()
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  target_link_libraries(${name} PRIVATE ${name}_lib)
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()
