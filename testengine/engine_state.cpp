#include "testengine/engine_state.h"

#include "media_interface/operation_shapes.h"

EngineState& Engine() {
  static EngineState state;
  static bool fresh = (state.Reset(), true);
  (void)fresh;
  return state;
}

void EngineState::Reset() {
  log.clear();
  definitions.clear();
  movies.clear();
  openFiles.clear();
  nextFileRef = 1;
  ports.clear();
  currentPort = reinterpret_cast<CGrafPtr>(&screenPort);
  currentDevice = reinterpret_cast<GDHandle>(&mainDevice);
  haveDisplayRect = false;
  displayRect = Rect{0, 0, 0, 0};
  pictureBytes.assign({0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x01, 0x40});
  pictureWidth = 320;
  pictureHeight = 240;
  pictures.clear();
  components.clear();
  requests.clear();
  failures.clear();
  misuses.clear();
  paths.clear();
}

MovieObject* EngineState::FindMovie(Movie movie) {
  for (auto& object : movies) {
    if (reinterpret_cast<Movie>(object.get()) == movie) return object.get();
  }
  return nullptr;
}

PortObject* EngineState::FindPort(CGrafPtr port) {
  if (port == reinterpret_cast<CGrafPtr>(&screenPort)) return &screenPort;
  for (auto& object : ports) {
    if (reinterpret_cast<CGrafPtr>(object.get()) == port && object->alive) return object.get();
  }
  return nullptr;
}

PictureObject* EngineState::FindPicture(Handle handle) {
  for (auto& object : pictures) {
    if (reinterpret_cast<Handle>(&object->master) == handle && object->alive) return object.get();
  }
  return nullptr;
}

ComponentObject* EngineState::FindComponent(ComponentInstance instance) {
  for (auto& object : components) {
    if (reinterpret_cast<ComponentInstance>(object.get()) == instance && object->alive) {
      return object.get();
    }
  }
  return nullptr;
}

void EngineState::Misuse(uint32_t selector, const char* what) {
  misuses.push_back(std::string(media_interface::OperationName(selector)) + ": " + what);
}

bool EngineState::TakeFailure(uint32_t selector, uint32_t* value) {
  for (size_t i = 0; i < failures.size(); ++i) {
    FailureRule& rule = failures[i];
    if (rule.selector != selector) continue;
    if (rule.remaining == 0) {
      *value = rule.value;
      return true;
    }
    if (--rule.remaining == 0) {
      *value = rule.value;
      failures.erase(failures.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}
