# PDF files as documents, through Poppler's Qt 6 library; no widget.
pkg_check_modules(POPPLER_QT6 REQUIRED IMPORTED_TARGET poppler-qt6)
add_library(voxtrella_documents_pdf STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Document.h
  ${CMAKE_CURRENT_LIST_DIR}/PdfDocument.h
  ${CMAKE_CURRENT_LIST_DIR}/PdfDocument.cpp)
target_include_directories(voxtrella_documents_pdf PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(voxtrella_documents_pdf PUBLIC Qt6::Core PRIVATE Qt6::Gui PkgConfig::POPPLER_QT6)
voxtrella_forbid_widgets(voxtrella_documents_pdf)
