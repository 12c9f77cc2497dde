# Toolchain for the firmware images: freestanding x64 PE32+ boot-service
# drivers (and the test application) built with clang and lld-link.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(UEFI_FIRMWARE_BUILD ON)

find_program(UEFI_CLANGXX NAMES clang++ clang++-14 REQUIRED)
find_program(UEFI_CLANG NAMES clang clang-14 REQUIRED)
find_program(UEFI_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(UEFI_LLVM_AR NAMES llvm-ar llvm-ar-14 REQUIRED)

set(CMAKE_CXX_COMPILER ${UEFI_CLANGXX})
set(CMAKE_C_COMPILER ${UEFI_CLANG})
set(CMAKE_AR ${UEFI_LLVM_AR})
set(CMAKE_CXX_COMPILER_TARGET x86_64-unknown-windows)
set(CMAKE_C_COMPILER_TARGET x86_64-unknown-windows)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(UEFI_COMMON_FLAGS "--target=x86_64-unknown-windows -ffreestanding -fno-builtin -fno-stack-protector -fno-stack-check -mno-stack-arg-probe -mno-red-zone -mgeneral-regs-only -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${UEFI_COMMON_FLAGS} -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")
set(CMAKE_C_FLAGS_INIT "${UEFI_COMMON_FLAGS}")
# Smallest code, optimised across the whole image at link time: the images
# are about an eighth smaller than with -Os alone.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-Oz -flto")
# clang for a Windows target looks like an MSVC front end to CMake, which then
# adds neither the target nor dependency files on a Generic platform.
set(CMAKE_DEPFILE_FLAGS_CXX "-MD -MT <DEP_TARGET> -MF <DEP_FILE>")
set(CMAKE_DEPFILE_FLAGS_C "-MD -MT <DEP_TARGET> -MF <DEP_FILE>")

# Images are linked by lld-link directly; the archives are plain llvm-ar files.
set(CMAKE_CXX_LINK_EXECUTABLE
    "${UEFI_LLD_LINK} /nologo /nodefaultlib /dll /opt:ref /opt:icf <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES> /out:<TARGET>")
set(CMAKE_EXECUTABLE_SUFFIX_CXX .efi)
set(CMAKE_EXECUTABLE_SUFFIX .efi)
set(CMAKE_STATIC_LIBRARY_SUFFIX_CXX .lib)

find_program(UEFI_LLVM_READOBJ NAMES llvm-readobj llvm-readobj-14 REQUIRED)
