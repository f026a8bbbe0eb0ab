#!/usr/bin/env bash
# Every bridged module through the frei0r hosts, byte for byte against
# `seqfx render` of the same frames:
#   one strip    ffmpeg -vf frei0r=seqfx_NAME
#   two strips   melt A B -mix N -mixer frei0r.seqfx_NAME factor="0=0;-1=1"
#                (and real_time=-4 equal to real_time=0 for stateless modules)
#   three strips gst-launch-1.0 with three inputs
# The modules are the ones the build bridged (a plug-in in the frei0r folder
# and a manifest in the module folder), so new modules are picked up.
# One-strip and two-strip modules run twice: with their defaults, and with
# every number at 0.7 of its range (see frei0r_probe.cpp), set through the
# host's own parameter syntax.
# With BUILD_DIR, the build is also installed into WORK_DIR/prefix and the
# first one-strip module run again from there, where it must find its module
# beside it.
# Usage: frei0r_hosts_test.sh SEQFX PROBE MODULE_DIR FREI0R_DIR WORK_DIR [BUILD_DIR]
set -uo pipefail
abs() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
seqfx=$(abs "$1") probe=$(abs "$2") modules=$(abs "$3") plugins=$(abs "$4") work=$(abs "$5")
build=${6:+$(abs "$6")}
W=64 H=48 N=8
export FREI0R_PATH=$plugins
export GST_REGISTRY=$work/gst-registry.bin

# Modules whose host run cannot equal the command line, each with the
# reason, as [name]="reason". None so far.
declare -A exception=(
)

for tool in ffmpeg melt gst-launch-1.0; do
  command -v $tool >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done
rm -rf "$work" && mkdir -p "$work/clips" || exit 1
cd "$work" || exit 1
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

# Three RGBA clips with varying alpha, stored losslessly: PNG sequences for
# the command line, raw RGBA for GStreamer, FFV1 for melt.
make_clip() {  # name lavfi-source alpha-expression
  ff -f lavfi -i "$2=size=${W}x${H}:rate=25" -frames:v $N \
     -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='$3'" clips/$1_%04d.png || exit 1
  ff -framerate 25 -i clips/$1_%04d.png -f rawvideo -pix_fmt rgba clips/$1.rgba || exit 1
  ff -framerate 25 -i clips/$1_%04d.png -c:v ffv1 -pix_fmt bgra clips/$1.mkv || exit 1
}
make_clip a testsrc2 "255-X*2"
make_clip b smptebars "128+Y*2"
make_clip c "testsrc" "X*3+N*10"

# GStreamer's plug-in registry, built once before the runs share it.
gst-inspect-1.0 frei0r >/dev/null 2>&1

raw_of() { ff -framerate 25 -i "$1" -f rawvideo -pix_fmt rgba "$2"; }

failures=0 passed=0
fail() { echo "FAIL $1: $2"; }
same() {  # name what expected actual
  if [ ! -s "$4" ]; then fail "$1" "$2: no output"; return 1; fi
  if ! cmp -s "$3" "$4"; then
    fail "$1" "$2: $(cmp "$3" "$4" 2>&1 | head -1) ($(stat -c %s "$3") vs $(stat -c %s "$4") bytes)"
    return 1
  fi
  return 0
}
profile=$work/profile
cat > "$profile" <<PROFILE
description=test
frame_rate_num=25
frame_rate_den=1
width=$W
height=$H
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$W
display_aspect_den=$H
colorspace=709
PROFILE

# One module, all its runs; prints "ok ..." or the reasons it failed.
check_module() {
  local m=$1 json=$modules/$1.json info type keeps d run rt args hargs params el cli_set host_set status
  info=$("$probe" $m "$modules") || { fail $m "probe"; return 1; }
  mapfile -t cli_set < <(sed -n 's/^cli_set /--set\n/p' <<<"$info")
  # melt reads colours as #rrggbb: 0.2/0.4/0.6 is #336699.
  mapfile -t host_set < <(sed -n 's/^host_set //p' <<<"$info" | sed 's|=0.2/0.4/0.6$|=#336699|')
  type=$(sed -n 's/^type //p' <<<"$info")
  keeps=$(grep -q '"keeps_state": true' "$json" && echo yes || echo no)
  d=$work/$m && mkdir -p $d
  case $type in
    filter)
      for run in defaults settings; do
        args=() && [ $run = settings ] && args=("${cli_set[@]}")
        params=$(sed -n "s/^ffmpeg$([ $run = settings ] && echo _set) //p" <<<"$info")
        "$seqfx" --quiet render $m -y -i clips/a_%04d.png -o $d/cli_%04d.png "${args[@]}" >$d/cli.log 2>&1 \
          && raw_of $d/cli_%04d.png $d/cli-$run.rgba || { fail $m "seqfx render: $(tail -1 $d/cli.log)"; return 1; }
        ff -framerate 25 -i clips/a_%04d.png \
           -vf "frei0r=filter_name=seqfx_$m:filter_params=$params" \
           -f rawvideo -pix_fmt rgba $d/host-$run.rgba >$d/host.log 2>&1 || { fail $m "ffmpeg: $(tail -1 $d/host.log)"; return 1; }
        same $m "ffmpeg ($run)" $d/cli-$run.rgba $d/host-$run.rgba || return 1
      done
      ;;
    mixer2)
      for run in defaults settings; do
        args=() hargs=() && [ $run = settings ] && args=("${cli_set[@]}") hargs=("${host_set[@]}")
        "$seqfx" --quiet render $m -y -i clips/a_%04d.png -i clips/b_%04d.png --factor 0:1 "${args[@]}" \
          -o $d/cli_%04d.png >$d/cli.log 2>&1 \
          && raw_of $d/cli_%04d.png $d/cli-$run.rgba || { fail $m "seqfx render: $(tail -1 $d/cli.log)"; return 1; }
        for rt in 0 -4; do
          [ $rt = -4 ] && { [ $keeps = yes ] || [ $run = settings ]; } && continue  # -4: four instances, four states
          # On a loaded machine melt now and then loses its consumer before
          # the first frame: it then ends with status 0 without writing its
          # file, or waits for the lost consumer for ever. Such a run (no
          # file, or still running after a minute, where it takes a second)
          # is repeated, up to three times; a wrong file is never repeated,
          # it fails below.
          for attempt in 1 2 3; do
            rm -f $d/melt$rt-$run.rgba
            status=0
            timeout 60 melt -quiet -profile "$profile" clips/a.mkv clips/b.mkv -mix $N \
              -mixer frei0r.seqfx_$m factor="0=0;-1=1" "${hargs[@]}" \
              -consumer avformat:$d/melt$rt-$run.rgba f=rawvideo vcodec=rawvideo pix_fmt=rgba \
              real_time=$rt >$d/melt.log 2>&1 || status=$?
            [ $status = 0 ] || [ $status = 124 ] || { fail $m "melt: $(tail -1 $d/melt.log)"; return 1; }
            [ $status = 0 ] && [ -s $d/melt$rt-$run.rgba ] && break
            echo "note $m: melt real_time=$rt ($run) $([ $status = 124 ] && echo "hung" || echo "wrote nothing") (attempt $attempt)"
          done
          same $m "melt real_time=$rt ($run)" $d/cli-$run.rgba $d/melt$rt-$run.rgba || return 1
        done
      done
      ;;
    mixer3)
      "$seqfx" --quiet render $m -y -i clips/a_%04d.png -i clips/b_%04d.png -i clips/c_%04d.png \
        -o $d/cli_%04d.png >$d/cli.log 2>&1 \
        && raw_of $d/cli_%04d.png $d/cli.rgba || { fail $m "seqfx render: $(tail -1 $d/cli.log)"; return 1; }
      el=frei0r-mixer-seqfx-${m//_/-}
      src() { echo "filesrc location=clips/$1.rgba ! rawvideoparse width=$W height=$H format=rgba framerate=25/1"; }
      gst-launch-1.0 -q $el name=mix ! videoconvert ! video/x-raw,format=RGBA ! filesink location=$d/host.rgba \
        $(src a) ! mix.sink_0 $(src b) ! mix.sink_1 $(src c) ! mix.sink_2 >$d/host.log 2>&1 \
        || { fail $m "gst-launch-1.0: $(tail -1 $d/host.log)"; return 1; }
      same $m gst-launch-1.0 $d/cli.rgba $d/host.rgba || return 1
      ;;
    *) fail $m "unknown type $type"; return 1 ;;
  esac
  echo "ok   $m ($type)"
}

# The modules run two at a time (each run is one process after another).
modules_run=()
for json in "$modules"/*.json; do
  m=$(basename "$json" .json)
  [ -f "$plugins/seqfx_$m.so" ] || continue  # left out of the bridge
  # FREI0R_TEST_ONLY="a b" runs only those modules (when working on them).
  [ -z "${FREI0R_TEST_ONLY:-}" ] || [[ " $FREI0R_TEST_ONLY " == *" $m "* ]] || continue
  if [ -n "${exception[$m]:-}" ]; then echo "skip $m: ${exception[$m]}"; continue; fi
  while [ "$(jobs -rp | wc -l)" -ge "${FREI0R_TEST_JOBS:-2}" ]; do wait -n; done
  check_module $m >$work/$m.result 2>&1 &
  modules_run+=($m)
done
wait
installed_check=
for m in "${modules_run[@]}"; do
  cat $work/$m.result
  if grep -q '^ok ' $work/$m.result; then
    passed=$((passed + 1))
    grep -q '(filter)$' $work/$m.result && installed_check=${installed_check:-$m}
  else
    failures=$((failures + 1))
  fi
done
# The installed plug-ins: one must load the module beside it and give the
# same bytes as from the build tree.
check_install() {
  local m=$1 lib=$work/prefix/lib/frei0r-1 params
  cmake --install "$build" --prefix "$work/prefix" >$work/install.log 2>&1 \
    || { fail install "$(tail -1 $work/install.log)"; return 1; }
  params=$("$probe" $m "$modules" | sed -n 's/^ffmpeg //p')
  FREI0R_PATH=$lib LD_DEBUG=files ffmpeg -nostdin -hide_banner -loglevel error -y -framerate 25 \
    -i clips/a_%04d.png -vf "frei0r=filter_name=seqfx_$m:filter_params=$params" \
    -f rawvideo -pix_fmt rgba $work/installed.rgba >$work/installed.log 2>&1 || { fail install ffmpeg; return 1; }
  grep -q "file=$lib/$m.so" $work/installed.log || { fail install "seqfx_$m did not load $lib/$m.so"; return 1; }
  same install "installed seqfx_$m" $work/$m/host-defaults.rgba $work/installed.rgba || return 1
  echo "ok   installed plug-ins"
}
if [ -n "$build" ] && [ -n "$installed_check" ]; then
  check_install $installed_check || failures=$((failures + 1))
fi
echo "$passed modules equal, $failures failures"
[ $failures -eq 0 ] && [ $passed -gt 0 ]
