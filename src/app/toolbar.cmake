# The floating toolbar window, kept apart from the main window so that it
# can be built and tested on its own.
add_library(voxtrella_toolbar STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ToolBarUnit.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolBarUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ToolBarUnit.ui)
target_include_directories(voxtrella_toolbar PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(voxtrella_toolbar PUBLIC Qt6::Widgets PRIVATE voxtrella_settings)

if(VOXTRELLA_TESTS AND COMMAND voxtrella_add_test)
  voxtrella_add_test(test_toolbar
    SOURCES ${PROJECT_SOURCE_DIR}/tests/app/ToolBarTest.cpp
    LIBS voxtrella_toolbar voxtrella_settings)
endif()
