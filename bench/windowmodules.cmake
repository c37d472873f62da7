if(TARGET fk_app)
  fk_benchmark(window_modules WindowModulesBench.cpp fk_app fk_sim Qt6::Widgets)
endif()
