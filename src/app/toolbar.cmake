# The reading commands as shared actions with their icons (widget-free), and
# the floating toolbar window, kept apart from the main window so that both
# can be built and tested on their own.
add_library(voxtrella_reading_actions STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ReadingActions.h
  ${CMAKE_CURRENT_LIST_DIR}/ReadingActions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ToolBarIcons.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolBarIcons.cpp)
target_include_directories(voxtrella_reading_actions PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(voxtrella_reading_actions PUBLIC Qt6::Gui)

add_library(voxtrella_toolbar STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.h
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FloatingToolBar.ui)
target_include_directories(voxtrella_toolbar PUBLIC ${CMAKE_CURRENT_LIST_DIR} PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(voxtrella_toolbar PUBLIC Qt6::Widgets voxtrella_reading_actions PRIVATE voxtrella_settings voxtrella_dialogs)
