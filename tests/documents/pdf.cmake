# PDF reading, on PDFs the tests write with QPdfWriter and cairo.
pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
voxtrella_add_test(documents_pdf_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PdfDocumentTest.cpp
  LIBS voxtrella_documents_pdf Qt6::Gui PkgConfig::CAIRO)
