vrex_library(vrex_gui
  FOLDERS widgets explorer transfers dispatch app resources
  EXCLUDE app/main.cpp
  DEPENDS vrex_platform vrex_ftp vrex_storage Qt6::Widgets)

add_executable(vrex app/main.cpp)
target_link_libraries(vrex PRIVATE vrex_gui)
target_compile_definitions(vrex_gui PUBLIC PROJECT_VERSION="${PROJECT_VERSION}")
