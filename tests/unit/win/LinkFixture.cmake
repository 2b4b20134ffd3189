# A folder with links for the path guard's tests under Wine. Wine cannot make a junction (it supports
# neither FSCTL_SET_REPARSE_POINT nor mklink /J), but it shows a Unix symbolic link to a folder as a
# reparse point, which is what a junction is to the program. The links lead only to a folder that is not
# empty: asked to remove a Unix link, Wine acts on what it points at (an empty folder, or a file, behind
# it would go), which Windows never does with its own links. Made again before every run: the tests
# delete in it.
set(SF_LINK_FIXTURE_DIR "${CMAKE_BINARY_DIR}/link-fixture")
add_test(NAME link_fixture COMMAND sh -c [=[
  set -e
  rm -rf "$1"
  mkdir -p "$1/Ardentis/Stormfinch_links/bin" "$1/outside_folder"
  echo "the user's" > "$1/outside_folder/keep.txt"
  echo "installed" > "$1/Ardentis/Stormfinch_links/bin/a.dll"
  ln -s ../../outside_folder "$1/Ardentis/Stormfinch_links/plugins"
  ln -s ../outside_folder "$1/Ardentis/linked"
]=] link_fixture "${SF_LINK_FIXTURE_DIR}")
set_tests_properties(link_fixture PROPERTIES FIXTURES_SETUP sf_link_fixture TIMEOUT 30)
set_property(TEST unit_win.wine APPEND PROPERTY FIXTURES_REQUIRED sf_link_fixture)
set_property(TEST unit_win.wine APPEND PROPERTY ENVIRONMENT "SF_LINK_FIXTURE=Z:${SF_LINK_FIXTURE_DIR}")
