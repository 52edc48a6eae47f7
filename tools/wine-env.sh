# Sourced by the scripts that run Windows programs under Wine. Sets the Wine environment and,
# on hosts whose kernel runs no 32-bit x86 Linux programs (Wine's 32-bit loader is one), runs
# that loader through qemu's user-mode emulator.
kavlin_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv=d${KAVLIN_DLLOVERRIDES:+;$KAVLIN_DLLOVERRIDES}"

# True when 32-bit x86 programs run through the emulator: its handler is registered already,
# or the kernel refuses to run Wine's 32-bit loader by itself.
kavlin_wine32_emulated() {
  grep -qs 'interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/* && return 0
  ! /usr/lib/wine/wine --version >/dev/null 2>&1
}

if kavlin_wine32_emulated; then
  # Register qemu-i386 for 32-bit x86 ELF files (once per boot; needs root).
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  fi
  if ! grep -qs 'interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/*; then
    printf '%s' ':kavlin-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      > /proc/sys/fs/binfmt_misc/register
  fi
  # qemu answers Wine's many address-space probes slowly (a minute per process start); the
  # shim answers them from the process's memory map instead.
  shim="$kavlin_root/build/host/wine32-mmap-shim.so"
  if [ ! -e "$shim" ] || [ "$kavlin_root/tools/wine32-mmap-shim.c" -nt "$shim" ]; then
    mkdir -p "$(dirname "$shim")"
    clang -m32 -O2 -fPIC -shared -nostdlib -o "$shim" "$kavlin_root/tools/wine32-mmap-shim.c"
  fi
  # libgcc_s is loaded up front too: glibc loads it when a thread ends, and by then Wine has
  # reserved the address space it would be mapped into ("libgcc_s.so.1 must be installed for
  # pthread_exit to work", and the process dies).
  export QEMU_SET_ENV="LD_PRELOAD=$shim:/lib/i386-linux-gnu/libgcc_s.so.1"
  # Wine's sound thread racing a message box crashes a process under qemu: programs under test
  # get the recording stand-in for winmm.dll (tools/sound-stub), which kavlin_init_prefix puts
  # where the installer loads winmm.dll from, the prefix's system folder.
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winmm=n,b"
  kavlin_sound_stub="$kavlin_root/build/win32/tools/sound-stub/winmm.dll"
fi

# Starts a private Xvfb on the first free display from 90 on; sets DISPLAY and kavlin_xvfb_pid.
kavlin_start_xvfb() {
  local n=90
  while [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ]; do n=$((n + 1)); done
  Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  kavlin_xvfb_pid=$!
  export DISPLAY=:$n
  for _ in $(seq 100); do
    [ -e /tmp/.X11-unix/X$n ] && return 0
    kill -0 $kavlin_xvfb_pid 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start on :$n" >&2
  return 1
}

# Makes (or refreshes) the Wine prefix $WINEPREFIX and tunes it for tests.
kavlin_init_prefix() {
  wine wineboot -i >/dev/null 2>&1
  # Without a window manager every closed window costs two seconds unless windows are unmanaged.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # Text files open in Notepad, as on Windows (a new prefix has the command but not the link).
  wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
  # Wine's own fonts (fonts-wine), among them "MS Sans Serif" with the metrics of Windows' that
  # the dialogs use. The Wine installed here does not find them in its own folder and takes a
  # wider font (DejaVu Sans) instead; every Wine finds fonts in the prefix's Fonts folder.
  if [ -d /usr/share/wine/fonts ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -u /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  if [ -n "${kavlin_sound_stub:-}" ] && [ -e "$kavlin_sound_stub" ]; then
    local system_folder="$WINEPREFIX/drive_c/windows/syswow64"
    [ -d "$system_folder" ] || system_folder="$WINEPREFIX/drive_c/windows/system32"
    cp -f "$kavlin_sound_stub" "$system_folder/winmm.dll"
  fi
  wineserver -p 120 >/dev/null 2>&1
}
