/* Records a PulseAudio source with the wall time of what it hears:
 * interleaved signed 16-bit samples to a raw file, and for every 10 ms chunk
 * a line "FRAMES SECONDS LATENCY_US" in a log: the frames recorded so far,
 * the CLOCK_REALTIME at which the read returned, and pa_simple_get_latency.
 * (On a null sink's monitor that latency is clamped to 0 as soon as the
 * sink renders ahead of its clock, so the read times are what counts.)
 * Native; Wine's GetSystemTimePreciseAsFileTime is the same clock, so the
 * A/V benchmark can set what it heard beside what the host drew.
 *
 *   pulse-recorder SOURCE RATE CHANNELS SAMPLES_FILE LOG_FILE
 *
 * Prints "recording" once the first chunk has come (a sink left idle can
 * take a second to send any), then runs until SIGINT or SIGTERM. parec
 * loses the start and the end of such a run; this does not. Uses
 * PULSE_SERVER like any client.
 */
#include <errno.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static volatile sig_atomic_t stop;

static void on_signal(int sig) {
  (void)sig;
  stop = 1;
}

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: pulse-recorder SOURCE RATE CHANNELS SAMPLES_FILE LOG_FILE\n");
    return 2;
  }
  pa_sample_spec spec = {PA_SAMPLE_S16LE, (uint32_t)atoi(argv[2]), (uint8_t)atoi(argv[3])};
  if (!pa_sample_spec_valid(&spec)) {
    fprintf(stderr, "pulse-recorder: no such format: %s Hz, %s channels\n", argv[2], argv[3]);
    return 2;
  }
  const size_t frames = spec.rate / 100, bytes = frames * pa_frame_size(&spec);
  /* Chunks of 10 ms, delivered as soon as they are there. */
  pa_buffer_attr attr;
  memset(&attr, 0xff, sizeof attr);
  attr.fragsize = (uint32_t)bytes;
  int error = 0;
  pa_simple* s = pa_simple_new(NULL, "vantoro-bench", PA_STREAM_RECORD, argv[1], "A/V benchmark", &spec, NULL,
                               &attr, &error);
  if (!s) {
    fprintf(stderr, "pulse-recorder: cannot record %s: %s\n", argv[1], pa_strerror(error));
    return 1;
  }
  FILE* samples = fopen(argv[4], "wb");
  FILE* log = fopen(argv[5], "w");
  if (!samples || !log) {
    fprintf(stderr, "pulse-recorder: cannot write %s or %s: %s\n", argv[4], argv[5], strerror(errno));
    return 1;
  }
  /* A line at a time: a caller waits in the log for a time it needs. */
  setvbuf(log, NULL, _IOLBF, 0);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_signal;
  sigaction(SIGINT, &action, NULL);
  sigaction(SIGTERM, &action, NULL);
  short* chunk = malloc(bytes);
  unsigned long long total = 0;
  while (!stop) {
    if (pa_simple_read(s, chunk, bytes, &error) < 0) {
      if (stop) break;
      fprintf(stderr, "pulse-recorder: read failed: %s\n", pa_strerror(error));
      return 1;
    }
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    pa_usec_t latency = pa_simple_get_latency(s, &error);
    if (!total) {
      fprintf(stdout, "recording\n");
      fflush(stdout);
    }
    total += frames;
    fwrite(chunk, 1, bytes, samples);
    fprintf(log, "%llu %lld.%09ld %llu\n", total, (long long)now.tv_sec, now.tv_nsec, (unsigned long long)latency);
  }
  fclose(samples);
  fclose(log);
  pa_simple_free(s);
  free(chunk);
  return 0;
}
