# Packs everything in the folder TREE into the new ZIP archive ZIP with Info-ZIP zip, so that the
# same files give the same archive on any machine at any time:
#   cmake -DTREE=FOLDER -DZIP=ARCHIVE -DEPOCH_FILE=FILE -P PackZip.cmake
# Every file and folder in TREE (a folder the build owns: it is changed in place) is stamped with
# the time in EPOCH_FILE (seconds since 1970, see SourceDateEpoch.cmake) and given fixed
# permissions, rw-r--r-- for files and rwxr-xr-x for folders, which zip records whatever the
# builder's umask; zip turns the time into a DOS date in UTC; and the entries go in in the byte
# order of their names, each folder before what it holds, not in the order the file system
# lists them. zip's -X leaves out the extra fields of Unix owners and times.
file(READ ${EPOCH_FILE} epoch)
string(STRIP "${epoch}" epoch)

execute_process(COMMAND find ${TREE} -exec touch -h -d @${epoch} {} +
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${TREE} -type d -exec chmod 755 {} + COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND find ${TREE} -type f -exec chmod 644 {} + COMMAND_ERROR_IS_FATAL ANY)

file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${TREE} ${TREE}/*)
list(SORT entries COMPARE STRING)
list(JOIN entries "\n" names)
set(names_file ${ZIP}.names)
file(WRITE ${names_file} "${names}\n")

file(REMOVE ${ZIP})
set(ENV{TZ} UTC0)
execute_process(COMMAND zip -q -X ${ZIP} -@ INPUT_FILE ${names_file} WORKING_DIRECTORY ${TREE}
  COMMAND_ERROR_IS_FATAL ANY)
