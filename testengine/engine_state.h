// Everything the test engine knows: the movies a test defined, the objects
// handed out to the caller, the call log and the scripted failures. Objects
// handed out are never freed before Reset, so a stale reference from the
// caller is recognised as such instead of being read through.
#pragma once
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testengine/control.h"

struct MovieDefinition {
  std::string path;
  TEMovieSpec spec;  // the time lists point into the vectors below
  std::vector<TimeValue> samples;
  std::vector<TimeValue> steps;
};

struct TimeBaseObject {
  int32_t flags = 0;
};

struct MovieObject {
  TEMovieState state;
  TimeBaseObject timeBase;
};

struct PortObject {
  void* window = nullptr;
  bool alive = true;
};

struct PictureObject {
  uint8_t* master = nullptr;  // the handle is the address of this field
  std::vector<uint8_t> data;
  int16_t width = 0;
  int16_t height = 0;
  bool locked = false;
  bool alive = true;
};

struct ComponentObject {
  PicHandle picture = nullptr;
  bool alive = true;
};

struct FailureRule {
  uint32_t selector;
  uint32_t remaining;  // calls until it fires; 0 for a rule that always fires
  uint32_t value;
};

struct EngineState {
  std::vector<TECall> log;
  std::vector<MovieDefinition> definitions;
  std::vector<std::unique_ptr<MovieObject>> movies;
  std::map<int16_t, uint32_t> openFiles;  // file ref -> definition
  int16_t nextFileRef = 1;
  std::vector<std::unique_ptr<PortObject>> ports;
  PortObject screenPort;
  int mainDevice = 0;  // its address stands for the device
  CGrafPtr currentPort = nullptr;
  GDHandle currentDevice = nullptr;
  bool haveDisplayRect = false;
  Rect displayRect = {0, 0, 0, 0};
  std::vector<uint8_t> pictureBytes;
  int16_t pictureWidth = 320;
  int16_t pictureHeight = 240;
  std::vector<std::unique_ptr<PictureObject>> pictures;
  std::vector<std::unique_ptr<ComponentObject>> components;
  std::vector<TERequest> requests;
  std::vector<FailureRule> failures;
  std::vector<std::string> misuses;
  std::vector<std::string> paths;

  void Reset();
  MovieObject* FindMovie(Movie movie);  // null if not handed out by us
  PortObject* FindPort(CGrafPtr port);
  PictureObject* FindPicture(Handle handle);
  ComponentObject* FindComponent(ComponentInstance instance);
  void Misuse(uint32_t selector, const char* what);
  // True, with the value to answer, when a scripted failure fires now.
  bool TakeFailure(uint32_t selector, uint32_t* value);
};

EngineState& Engine();

// Carries out one operation; args point at the caller's argument words.
uint32_t Dispatch(uint32_t selector, const uint32_t* args);
