# What this machine can run; sourced by bootstrap.sh, run.sh and wine-run.sh.
#
#   orv_runs_x86_32        true when the kernel executes 32-bit x86 programs
#   orv_requested_archs    the architectures ORV_ARCHS names (both when it is unset)
#   orv_arch_skip_reason A why architecture A is not run here (empty when it is)

# A static 32-bit program that exits with 7, assembled and linked with binutils alone (no 32-bit C
# library is needed to build it). Some kernels refuse every 32-bit program ("Exec format error").
orv_runs_x86_32() {
  if [ -n "${ORV_RUNS_X86_32:-}" ]; then [ "$ORV_RUNS_X86_32" = 1 ]; return; fi
  local dir rc=1
  dir=$(mktemp -d)
  printf '.globl _start\n_start:\n movl $1, %%eax\n movl $7, %%ebx\n int $0x80\n' > "$dir/p.s"
  if as --32 "$dir/p.s" -o "$dir/p.o" 2>/dev/null && ld -m elf_i386 "$dir/p.o" -o "$dir/p" 2>/dev/null; then
    "$dir/p" 2>/dev/null
    [ $? = 7 ] && rc=0
  fi
  rm -rf "$dir"
  ORV_RUNS_X86_32=$([ $rc = 0 ] && echo 1 || echo 0)
  export ORV_RUNS_X86_32
  return $rc
}

orv_all_archs="i686 x86_64"

# ORV_ARCHS, when set, is a comma list of i686 and x86_64.
orv_requested_archs() {
  local list=${ORV_ARCHS:-i686,x86_64} a out=()
  for a in ${list//,/ }; do
    case "$a" in
      i686|x86_64) out+=("$a") ;;
      *) echo "ORV_ARCHS: unknown architecture '$a' (expected i686 and/or x86_64)" >&2; return 2 ;;
    esac
  done
  echo "${out[*]}"
}

orv_arch_skip_reason() {
  local arch=$1 requested
  requested=$(orv_requested_archs) || return 2
  case " $requested " in
    *" $arch "*) ;;
    *) echo "not in ORV_ARCHS=${ORV_ARCHS:-}"; return 0 ;;
  esac
  if [ "$arch" = i686 ] && ! orv_runs_x86_32; then
    echo "this machine's kernel runs no 32-bit x86 code, so neither 32-bit Wine nor WoW64 can start"
  fi
}

# The architecture of a Windows program (i686 or x86_64) from the machine field of its PE header.
orv_pe_arch() {
  local file=$1 offset machine
  offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ') || return 1
  [ -n "$offset" ] || return 1
  machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
  case "$machine" in
    014c) echo i686 ;;
    8664) echo x86_64 ;;
    *) return 1 ;;
  esac
}

# The Wine prefix (under ORV_WINEPREFIX_ROOT, default build/wineprefix) a target's programs run in.
orv_prefix_name() { [ "$1" = i686 ] && echo win32 || echo win64; }
