# velmoth-queue's shell completions: their description of the command line
# against the program's --help, bash's pressed Tab on over a sample queue,
# PowerShell's read (no PowerShell runs here), and their maker on descriptions
# of the tests' own. The Linux build runs them; the Windows build ships the same.
set(completion_tests ${CMAKE_CURRENT_LIST_DIR})
add_test(NAME completion.description
         COMMAND ${completion_tests}/description_test.sh $<TARGET_FILE:velmoth-queue>
                 ${VELMOTH_BASH_COMPLETION})
add_test(NAME completion.bash
         COMMAND ${completion_tests}/bash_completion_test.sh ${VELMOTH_BASH_COMPLETION}
                 $<TARGET_FILE_DIR:velmoth-queue> ${PROJECT_SOURCE_DIR})
add_test(NAME completion.powershell
         COMMAND ${completion_tests}/powershell_test.sh $<TARGET_FILE:velmoth-queue>
                 ${VELMOTH_POWERSHELL_COMPLETION})
add_test(NAME completion.generator
         COMMAND ${completion_tests}/generator_test.sh ${CMAKE_COMMAND} ${PROJECT_SOURCE_DIR})
