# One static library per folder, each linking only the layers below it, so an
# include that points upwards fails to link.
set(vrex_base vrex_platform vrex_storage vrex_ftp Qt6::Widgets)
vrex_library(vrex_widgets FOLDERS widgets DEPENDS Qt6::Widgets)
vrex_library(vrex_explorer FOLDERS explorer DEPENDS vrex_widgets ${vrex_base})
vrex_library(vrex_transfers FOLDERS transfers DEPENDS vrex_widgets ${vrex_base})
vrex_library(vrex_dispatch FOLDERS dispatch DEPENDS vrex_explorer vrex_transfers)
vrex_library(vrex_app
  FOLDERS app resources
  EXCLUDE app/main.cpp
  DEPENDS vrex_dispatch vrex_explorer vrex_transfers vrex_widgets vrex_sftp ${vrex_base})
target_compile_definitions(vrex_app PRIVATE PROJECT_VERSION="${PROJECT_VERSION}")

# What tests and benchmarks link: the whole window.
add_library(vrex_gui INTERFACE)
target_link_libraries(vrex_gui INTERFACE vrex_app)

add_executable(vrex app/main.cpp)
target_link_libraries(vrex PRIVATE vrex_app)
