# The engine's sources, by layer, for every build of it: the programs' and
# libmocf's, the page's and the fuzz targets'. Nothing is globbed: a file
# joins the engine by being named here. Layers are listed from the bottom;
# a file includes only from its own layer and those listed before it.
get_filename_component(MOCF_SHARED_DIR ${CMAKE_CURRENT_LIST_DIR}/../shared ABSOLUTE)

set(MOCF_LAYER_sha1 sha1.cpp sha1_BlocksPortable.cpp sha1_BlocksX86.cpp sha1_Rfc4634.cpp)
set(MOCF_LAYER_run Messages.cpp RunContext.cpp)
# The platform module itself is chosen apart: exactly one goes in.
set(MOCF_LAYER_platform ReadPace.cpp ReplaceFile.cpp SignatureBeside.cpp)
set(MOCF_LAYER_format Describe.cpp Gen6Creators.cpp Gen6MocfParser.cpp Gen6Parsers.cpp
  Gen6Verdict.cpp MocfCreator.cpp MocfParser.cpp MocfRecordParser.cpp Tlv.cpp
  TlvContainerCreator.cpp TlvContainerParser.cpp)
set(MOCF_LAYER_image FollowingDigest.cpp ImageWriter.cpp RecordHeads.cpp)
set(MOCF_LAYER_inputs CommentedFile.cpp CompatibleProductsFile.cpp ErrorText.cpp FileHelper.cpp
  MenuSettingsFile.cpp ObjectRecordBuilder.cpp TextRecordBuilders.cpp)
set(MOCF_LAYER_args CommandLine.cpp Usage.cpp)
set(MOCF_LAYER_assemble Append.cpp BuildPlan.cpp ListBuild.cpp
  RunList.cpp RunReason.cpp)
set(MOCF_LAYER_inspect Diff.cpp DiffOutput.cpp Extract.cpp Inspect.cpp Json.cpp Listing.cpp
  MocfImage.cpp Unpack.cpp)
set(MOCF_LAYER_edit Edit.cpp Selector.cpp SettingsEdit.cpp)
# Signatures: only this layer knows libcrypto. A build with it adds
# MOCF_SIGN_CRYPTO; every other build, SignNone.cpp, which fails closed.
set(MOCF_LAYER_sign SignaturePath.cpp)
set(MOCF_SIGN_CRYPTO Credentials.cpp Judge.cpp MocfDigest.cpp OpenSsl.cpp Pkcs11Key.cpp Secret.cpp
  Sign.cpp SignerFacts.cpp Verify.cpp)
set(MOCF_SIGN_NONE SignNone.cpp)
set(MOCF_LAYER_api ApiDiff.cpp ApiEdit.cpp ApiError.cpp ApiRead.cpp ApiSign.cpp ApiWrite.cpp)
set(MOCF_LAYERS sha1 run platform format image inputs args assemble inspect edit sign api)

# mocf_engine_sources(OUT PLATFORM [NO_SIGNING] [EXCEPT layer...]): the
# engine's files with the platform module PLATFORM (Posix, Windows or
# Portable) and without libcrypto, less the layers a build leaves out.
# NO_SIGNING leaves out both implementations of the signatures, for a build
# that links one of them apart (mocf_sign_sources).
function(mocf_engine_sources out platform)
  cmake_parse_arguments(PARSE_ARGV 2 arg "NO_SIGNING" "" "EXCEPT")
  set(files ${MOCF_SHARED_DIR}/platform/Platform${platform}.cpp)
  if(NOT arg_NO_SIGNING)
    mocf_sign_sources(none NONE)
    list(APPEND files ${none})
  endif()
  foreach(layer ${MOCF_LAYERS})
    if(NOT layer IN_LIST arg_EXCEPT)
      foreach(file ${MOCF_LAYER_${layer}})
        list(APPEND files ${MOCF_SHARED_DIR}/${layer}/${file})
      endforeach()
    endif()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# mocf_sign_sources(OUT CRYPTO|NONE): one implementation of the signatures.
function(mocf_sign_sources out which)
  set(files)
  foreach(file ${MOCF_SIGN_${which}})
    list(APPEND files ${MOCF_SHARED_DIR}/sign/${file})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Where an include of the engine is looked for: "layer/File.h" under
# shared/, and the public mocf/ headers.
set(MOCF_ENGINE_INCLUDES ${MOCF_SHARED_DIR} ${MOCF_SHARED_DIR}/../include)
