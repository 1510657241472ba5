# The floating toolbar window, kept apart from the main window so that it
# can be built and tested on its own.
add_library(voxtrella_toolbar STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.h
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.ui)
target_include_directories(voxtrella_toolbar PUBLIC ${CMAKE_CURRENT_LIST_DIR} PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(voxtrella_toolbar PUBLIC Qt6::Widgets PRIVATE voxtrella_settings voxtrella_dialogs)
